#include "tests/download/SessionRun.h"

#include "tests/support/EventLoop.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace nimbra::test {

void RecordingSink::articleDone(const Article& article)
{
    if (throwNext) {
        throwNext = false;
        throw std::runtime_error("disk full");
    }
    std::string bytes(static_cast<std::size_t>(article.ArticleStream.size()), '\0');
    article.ArticleStream.read(bytes.data(), bytes.size());
    const std::size_t at = bytes.find("Message-ID: <");
    const std::size_t end = bytes.find('>', at);
    ids.push_back(at == std::string::npos ? "?" : bytes.substr(at + 13, end - at - 13));
    groups.push_back(article.groupName);
}

SessionRun::SessionRun()
{
    session.setArticleSink(&sink);
    session.setRunOutcome(&outcome);
    session.setMillisecondsPerSecond(100);
    view.timeout = "600";
}

void SessionRun::start()
{
    server = model.start();
    view.port = server->portText();
    session.bitbtn1Click();
}

bool SessionRun::waitForEnd(int timeoutMs)
{
    return waitUntil([&] { return !session.sessionActive(); }, timeoutMs);
}

std::map<std::string, std::string> folderFiles(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[std::filesystem::relative(entry.path(), folder).string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

std::vector<std::string> numbered(const std::string& prefix, int first, int last)
{
    std::vector<std::string> lines;
    for (int i = first; i <= last; ++i)
        lines.push_back(prefix + std::to_string(i));
    return lines;
}

} // namespace nimbra::test
