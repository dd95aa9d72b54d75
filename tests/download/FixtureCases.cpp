#include "tests/download/FixtureCases.h"

#include <QCryptographicHash>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace nimbra::test {
namespace {

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> splitAt(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    std::istringstream in(text);
    for (std::string piece; std::getline(in, piece, separator);)
        pieces.push_back(piece);
    return pieces;
}

// "name" is one article; "dir/" every article in it by name, "~dir/" the same reversed.
void expand(const std::string& entry, std::vector<std::string>& paths)
{
    const std::string articles = FixtureCases::folder() + "/articles/";
    if (entry.empty() || entry.back() != '/') {
        paths.push_back(articles + entry);
        return;
    }
    const bool reversed = entry.front() == '~';
    std::vector<std::string> inFolder;
    for (const auto& file : std::filesystem::directory_iterator(articles + entry.substr(reversed ? 1 : 0)))
        inFolder.push_back(file.path().string());
    std::sort(inFolder.begin(), inFolder.end());
    if (reversed)
        std::reverse(inFolder.begin(), inFolder.end());
    paths.insert(paths.end(), inFolder.begin(), inFolder.end());
}

} // namespace

std::string FixtureCases::folder() { return NIMBRA_FIXTURES; }

std::vector<FixtureCase> FixtureCases::all()
{
    std::vector<FixtureCase> cases;
    std::istringstream in(contents(folder() + "/expected.txt"));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        FixtureCase c;
        std::string articles;
        fields >> c.name >> articles;
        for (const std::string& entry : splitAt(articles, ','))
            expand(entry, c.articles);
        for (std::string file; fields >> file;) {
            const std::size_t eq = file.find('=');
            if (eq != std::string::npos)
                c.files[file.substr(0, eq)] = file.substr(eq + 1);
        }
        cases.push_back(c);
    }
    return cases;
}

std::map<std::string, std::string> FixtureCases::payloadHashes()
{
    std::map<std::string, std::string> hashes;
    std::istringstream in(contents(folder() + "/SHA256SUMS"));
    for (std::string hash, path; in >> hash >> path;)
        hashes[path.substr(path.rfind('/') + 1)] = hash;
    return hashes;
}

std::string FixtureCases::sha256Of(const std::string& path)
{
    const std::string bytes = contents(path);
    return QCryptographicHash::hash(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string FixtureCases::wireText(const std::string& path)
{
    std::string text;
    for (char c : contents(path)) {
        if (c == '\n')
            text += '\r';
        text += c;
    }
    return text;
}

ModelArticle FixtureCases::modelArticle(std::int64_t number, const std::string& messageId, const std::string& path)
{
    ModelArticle article;
    article.number = number;
    article.messageId = messageId;
    std::istringstream in(contents(path));
    std::string line;
    while (std::getline(in, line) && !line.empty())
        article.headers.push_back(line);  // a folded header's lines stay as they are
    article.headers.push_back("Message-ID: <" + article.messageId + ">");
    while (std::getline(in, line))
        article.body.push_back(line);
    article.headers.push_back("Lines: " + std::to_string(article.body.size()));
    return article;
}

} // namespace nimbra::test
