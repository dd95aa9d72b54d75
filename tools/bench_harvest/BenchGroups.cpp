#include "tools/bench_harvest/BenchGroups.h"

#include "tests/support/FakeNewsServer.h"
#include "tools/newsmodel/YencEncoder.h"

#include <algorithm>
#include <string>

namespace nimbra::test {

std::vector<ModelArticle> BenchGroups::pictures(int count)
{
    std::vector<ModelArticle> list;
    for (int number = 1; number <= count; ++number) {
        const int kilobytes = 20 + static_cast<int>((number * 7919u) % 41u);
        const std::string id = "pic" + std::to_string(number) + "@bench";
        ModelArticle a = NewsServerModel::article(number, id, "picture " + std::to_string(number) + ".jpg (1/1)", 0);
        const int lines = kilobytes * 1024 / 45;  // 45 bytes to a 61-character uuencoded line
        a.body.assign(static_cast<std::size_t>(lines), "M" + std::string(60, static_cast<char>('!' + number % 60)));
        for (std::string& header : a.headers)
            if (header.rfind("Lines:", 0) == 0)
                header = "Lines: " + std::to_string(lines);
        list.push_back(std::move(a));
    }
    return list;
}

std::vector<ModelArticle> BenchGroups::yencParts(int count, int partBytes)
{
    std::vector<ModelArticle> list;
    const int lines = partBytes / 128;
    for (int number = 1; number <= count; ++number) {
        const std::string id = "part" + std::to_string(number) + "@bench";
        ModelArticle a = NewsServerModel::article(number, id, "\"big.bin\" yEnc (" + std::to_string(number) + "/"
                                                                   + std::to_string(count) + ")", 0);
        a.body.assign(static_cast<std::size_t>(lines), std::string(128, static_cast<char>('A' + number % 26)));
        for (std::string& header : a.headers)
            if (header.rfind("Lines:", 0) == 0)
                header = "Lines: " + std::to_string(lines);
        list.push_back(std::move(a));
    }
    return list;
}

std::vector<ModelArticle> BenchGroups::yencFile(int count, int partBytes)
{
    const std::size_t part = static_cast<std::size_t>(partBytes);
    const std::string file = yencPayload(part * static_cast<std::size_t>(count), 7);
    const std::string total = std::to_string(count);
    const std::uint32_t crc = referenceCrc32(file);
    std::vector<ModelArticle> list;
    for (int number = 1; number <= count; ++number) {
        const std::size_t begin = part * static_cast<std::size_t>(number - 1);
        ModelArticle a = NewsServerModel::article(number, "file" + std::to_string(number) + "@bench",
                                                  "\"big.bin\" yEnc (" + std::to_string(number) + "/" + total + ")", 0);
        a.body = yencPart("big.bin", file, number, count, begin, begin + part, YencEncoding{128}, crc);
        for (std::string& header : a.headers)
            if (header.rfind("Lines:", 0) == 0)
                header = "Lines: " + std::to_string(a.body.size());
        list.push_back(std::move(a));
    }
    return list;
}

std::unique_ptr<FakeNewsServer> BenchGroups::overviewServer(std::int64_t articles)
{
    const std::string last = std::to_string(articles);
    auto greeting = [](FakeConnection&) -> ServerScript { return {send("200 bench overview server")}; };
    auto responder = [articles, last](const std::string& line, FakeConnection&) -> ServerScript {
        if (line == "QUIT")
            return {send("205 bye"), close()};
        if (line == "CAPABILITIES")
            return {sendBlock("101 Capability list:", {"VERSION 2", "READER", "OVER"})};
        if (line.rfind("GROUP ", 0) == 0)
            return {send("211 " + last + " 1 " + last + " bench.million")};
        if (line == "LIST OVERVIEW.FMT")
            return {sendBlock("215 format", {"Subject:", "From:", "Date:", "Message-ID:", "References:", ":bytes",
                                             ":lines"})};
        const std::size_t space = line.find(' ');
        const std::size_t dash = line.find('-');
        if (space == std::string::npos || (line.rfind("OVER ", 0) != 0 && line.rfind("XOVER ", 0) != 0))
            return {send("500 What?")};
        const std::int64_t first = std::stoll(line.substr(space + 1));
        const std::int64_t end = dash == std::string::npos ? first : std::min<std::int64_t>(articles, std::stoll(line.substr(dash + 1)));
        std::string bytes = "224 overview follows\r\n";
        for (std::int64_t n = first; n <= end; ++n) {
            const std::string number = std::to_string(n);
            bytes += number + "\tpicture " + number + ".jpg (1/1)\tposter@bench\t9 Dec 2026 01:00:00 GMT\t<o" + number
                     + "@bench>\t\t9000000\t99000\r\n";
        }
        bytes += ".\r\n";
        return {sendRaw(std::move(bytes))};
    };
    return std::make_unique<FakeNewsServer>(greeting, responder);
}

} // namespace nimbra::test
