#pragma once

// The saving fixtures in tests/fixtures/: articles made with standard tools, the payloads
// they carry, and expected.txt saying which files each case must save.

#include "tools/newsmodel/NewsServerModel.h"

#include <map>
#include <string>
#include <vector>

namespace nimbra::test {

struct FixtureCase {
    std::string name;
    std::vector<std::string> articles;          // paths, in the order they are fed
    std::map<std::string, std::string> files;   // saved name -> payload name
};

class FixtureCases {
public:
    static std::string folder();
    // Every case of expected.txt, folder entries expanded.
    static std::vector<FixtureCase> all();
    // Payload name -> hex SHA-256, as sha256sum wrote it.
    static std::map<std::string, std::string> payloadHashes();
    static std::string sha256Of(const std::string& path);
    // The article as a server sends it: CR LF line ends.
    static std::string wireText(const std::string& path);
    // The article as the model server keeps it, numbered, with the Message-ID (messageId,
    // without brackets) and Lines headers a server adds; the fixtures, like a posting tool,
    // leave them out.
    static ModelArticle modelArticle(std::int64_t number, const std::string& messageId, const std::string& path);
};

} // namespace nimbra::test
