#include "tools/benchsaver/SaverBench.h"

#include "download/AttachmentSaver.h"
#include "download/SaveSettings.h"
#include "download/SavedFileView.h"
#include "mime/Crc32.h"
#include "platform/MemoryStream.h"
#include "tools/newsmodel/ArticleEncoders.h"
#include "tools/newsmodel/YencEncoder.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

namespace nimbra::bench {
namespace {

struct Settings : SaveSettings {
    std::string folder;
    std::string downloadFolderText() const override { return folder; }
    bool saveToOneFolder() const override { return true; }
};

struct Quiet : SavedFileView {
    std::vector<std::string> paths;
    void showSavedName(const std::string&, const std::string& path) override { paths.push_back(path); }
    void showPicture(const PicturePreview&) override {}
    bool showsPictures() const override { return false; }
    void showSavedSize(std::int64_t) override {}
    void addToStatistics(std::int32_t, std::int32_t) override {}
};

std::string hex8(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string crlf(const std::vector<std::string>& lines, std::size_t from, std::size_t to)
{
    std::string text;
    for (std::size_t i = from; i < to; ++i)
        text += lines[i] + "\r\n";
    return text;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

SaverBench::SaverBench(std::string root) : root_(std::move(root)) {}

SaverBench::~SaverBench()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

SaverBench::Timing SaverBench::save(const std::vector<std::string>& articles, const std::string& name,
                                    const std::string& bytes, int rounds)
{
    Timing best{1e30, 1e30, true};
    for (int round = 0; round < rounds; ++round) {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ + "/files");
        Settings settings;
        settings.folder = root_ + "/files/";
        Quiet view;
        double wall = 0;
        double cpu = 0;
        {
            AttachmentSaver saver(settings, view, root_ + "/yenc-ledger", root_ + "/split-ledger");
            // The articles arrive in buffers of their own, as a run receives them; making those
            // is the harness's work, as it is for the decoder alone, and is not timed.
            std::vector<MemoryStream> streams(articles.begin(), articles.end());
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = cpuSeconds();
            for (MemoryStream& stream : streams)
                saver.articleDone({stream, 0, "bench"});
            saver.flush();
            cpu = cpuSeconds() - cpuStart;
            wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        best.seconds = std::min(best.seconds, wall);
        best.cpu = std::min(best.cpu, cpu);
        best.same = best.same && view.paths.size() == 1 && view.paths[0] == settings.folder + name
            && readFile(view.paths[0]) == bytes;
    }
    return best;
}

double SaverBench::memcpyMegabytesPerSecond()
{
    const std::size_t size = 64u << 20;
    std::vector<char> from(size, 'x'), to(size, 'y');
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), size);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        from[static_cast<std::size_t>(round)] = to[size - 1 - static_cast<std::size_t>(round)];
    }
    return static_cast<double>(size) / 1e6 / best;
}

std::string SaverBench::loadAverage()
{
    std::ifstream load("/proc/loadavg");
    std::string text;
    std::getline(load, text);
    return text;
}

double SaverBench::cpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string SaverBench::article(const std::string& subject, const std::string& headers, const std::string& body)
{
    return "From: bench@example.org\r\nSubject: " + subject + "\r\n" + headers + "\r\n" + body;
}

std::string SaverBench::randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const auto v = random();
        std::memcpy(&bytes[i], &v, 8);
    }
    return bytes;
}

std::vector<std::string> SaverBench::uuArticles(const std::string& name, const std::string& bytes, int parts)
{
    const std::vector<std::string> data = test::ArticleEncoders::uuLines(bytes);
    std::vector<std::string> out;
    for (int part = 0; part < parts; ++part) {
        std::string body = part == 0 ? "begin 644 " + name + "\r\n" : std::string();
        body += crlf(data, data.size() * part / parts, data.size() * (part + 1) / parts);
        if (part == parts - 1)
            body += "end\r\n";
        const std::string count = parts > 1 ? " (" + std::to_string(part + 1) + "/" + std::to_string(parts) + ")" : "";
        out.push_back(article(name + count, {}, body));
    }
    return out;
}

std::vector<std::string> SaverBench::yencArticles(const std::string& name, const std::string& bytes, int parts)
{
    const std::string crc = hex8(Crc32::update(0, bytes.data(), bytes.size()));
    std::vector<std::string> out;
    for (int part = 0; part < parts; ++part) {
        const std::size_t begin = bytes.size() * part / parts;
        const std::size_t end = bytes.size() * (part + 1) / parts;
        const std::string piece = bytes.substr(begin, end - begin);
        const std::vector<std::string> lines = test::yencLines(piece);
        const std::string size = std::to_string(bytes.size());
        std::string body;
        if (parts == 1) {
            body = "=ybegin line=128 size=" + size + " name=" + name + "\r\n" + crlf(lines, 0, lines.size())
                + "=yend size=" + size + " crc32=" + crc + "\r\n";
        } else {
            const std::string number = std::to_string(part + 1);
            body = "=ybegin part=" + number + " total=" + std::to_string(parts) + " line=128 size=" + size + " name="
                + name + "\r\n=ypart begin=" + std::to_string(begin + 1) + " end=" + std::to_string(end) + "\r\n"
                + crlf(lines, 0, lines.size()) + "=yend size=" + std::to_string(piece.size()) + " part=" + number
                + " pcrc32=" + hex8(Crc32::update(0, piece.data(), piece.size())) + " crc32=" + crc + "\r\n";
        }
        const std::string count = " (" + std::to_string(part + 1) + "/" + std::to_string(parts) + ")";
        out.push_back(article(name + " yEnc" + count, {}, body));
    }
    return out;
}

std::vector<std::string> SaverBench::messageArticles(const std::string& message, int parts)
{
    if (parts == 1)
        return {"From: bench@example.org\r\n" + message};
    std::vector<std::size_t> lineStarts{0};
    for (std::size_t at = message.find('\n'); at != std::string::npos; at = message.find('\n', at + 1))
        lineStarts.push_back(at + 1);
    if (lineStarts.back() != message.size())
        lineStarts.push_back(message.size());
    const std::size_t lines = lineStarts.size() - 1;
    std::vector<std::string> out;
    for (int part = 0; part < parts; ++part) {
        const std::size_t from = lineStarts[lines * part / parts];
        const std::size_t to = lineStarts[lines * (part + 1) / parts];
        const std::string header = "MIME-Version: 1.0\r\nContent-Type: message/partial; id=\"bench-1@example.org\"; number="
            + std::to_string(part + 1) + "; total=" + std::to_string(parts) + "\r\n";
        out.push_back(article("bench (" + std::to_string(part + 1) + "/" + std::to_string(parts) + ")", header,
                              message.substr(from, to - from)));
    }
    return out;
}

} // namespace nimbra::bench
