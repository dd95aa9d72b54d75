// Articles made with standard tools (Python's email package, sharutils uuencode, split and an
// xxencode maker), kept in tests/fixtures/ with a README saying how each was made. Each case
// runs its articles through the saver as a run would and compares every saved file with its
// source by SHA-256.
#include "download/SaveTarget.h"
#include "tests/download/SaverFixture.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace nimbra::test {
namespace {

const std::string Fixtures = NIMBRA_FIXTURES;

struct FixtureCase {
    std::string name;
    std::vector<std::string> articles;
    std::map<std::string, std::string> files;  // saved name -> payload
};

std::vector<std::string> splitAt(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    std::istringstream in(text);
    for (std::string piece; std::getline(in, piece, separator);)
        pieces.push_back(piece);
    return pieces;
}

std::vector<FixtureCase> fixtureCases()
{
    std::vector<FixtureCase> cases;
    std::istringstream in(readFile(Fixtures + "/expected.txt"));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        FixtureCase c;
        std::string articles;
        fields >> c.name >> articles;
        c.articles = splitAt(articles, ',');
        for (std::string file; fields >> file;) {
            const std::size_t eq = file.find('=');
            if (eq != std::string::npos)
                c.files[file.substr(0, eq)] = file.substr(eq + 1);
        }
        cases.push_back(c);
    }
    return cases;
}

// payload name -> hex SHA-256, as sha256sum wrote it.
std::map<std::string, std::string> payloadHashes()
{
    std::map<std::string, std::string> hashes;
    std::istringstream in(readFile(Fixtures + "/SHA256SUMS"));
    for (std::string hash, path; in >> hash >> path;)
        hashes[path.substr(path.rfind('/') + 1)] = hash;
    return hashes;
}

std::string sha256Of(const std::string& path)
{
    const std::string bytes = readFile(path);
    return QCryptographicHash::hash(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// The articles as a server sends them: CR LF line ends.
std::string wireText(const std::string& path)
{
    std::string text;
    for (char c : readFile(path)) {
        if (c == '\n')
            text += '\r';
        text += c;
    }
    return text;
}

TEST(FixtureSaving, EveryFixtureSavesItsFilesByteForByte)
{
    const auto hashes = payloadHashes();
    const auto cases = fixtureCases();
    ASSERT_GE(cases.size(), 12u);
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(c.name);
        Saving saving;
        for (const std::string& article : c.articles) {
            const std::string text = wireText(Fixtures + "/articles/" + article);
            ASSERT_FALSE(text.empty()) << article;
            saving.text(text);
        }
        std::vector<std::string> expected;
        for (const auto& [name, payload] : c.files) {
            expected.push_back(name);
            ASSERT_EQ(hashes.count(payload), 1u) << payload;
            EXPECT_EQ(sha256Of(saving.folder() + name), hashes.at(payload)) << name;
        }
        // Nothing else: no stray file, no working file left over.
        EXPECT_EQ(entriesIn(saving.folder()), expected);
        auto shown = saving.view.names;
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(saving.view.files, static_cast<std::int32_t>(expected.size()));
    }
}

TEST(FixtureSaving, PayloadsMatchTheirRecordedHashes)
{
    // A payload edited without making the fixtures again would make the case above compare
    // against the wrong bytes.
    for (const auto& [payload, hash] : payloadHashes())
        EXPECT_EQ(sha256Of(Fixtures + "/payloads/" + payload), hash) << payload;
}

} // namespace
} // namespace nimbra::test
