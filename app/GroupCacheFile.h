#pragma once

#include <string>

namespace nimbra {

// Where the newsgroup list of a server is cached: the program's data folder and a file named
// after the host text in lower case. Host texts that are no plain file name (a path, a name
// with odd characters, "mesagid") get a safe name of their own, so a host never leads
// outside the folder or over another of the program's files.
class GroupCacheFile {
public:
    // "" for an empty host: there is no cache without a server.
    static std::string path(const std::string& host);
};

} // namespace nimbra
