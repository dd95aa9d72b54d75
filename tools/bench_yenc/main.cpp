// bench_yenc [megabytes] [folder]: prints MB/s of yEnc input decoded from memory to a file by
// each decoder path, then the run-time choice alone against the same file saved through the
// saver from one article and from 400 parts, beside memcpy of a warm 64 MB buffer, with the
// ratios and the load average.
#include "mime/Crc32.h"
#include "mime/LineSplitter.h"
#include "mime/YencDecoder.h"
#include "mime/YencLineDecoder.h"
#include "platform/FileStream.h"
#include "platform/MemoryStream.h"
#include "tools/benchsaver/SaverBench.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <ctime>
#include <unistd.h>

using namespace nimbra;

namespace {

// Encodes as a common poster does: 128 characters a line, CR LF line ends, the four critical
// characters escaped, and blanks at the line ends and "." at the line start escaped too.
std::string encodeArticle(const std::string& data, std::uint32_t crc)
{
    std::string out = "=ybegin line=128 size=" + std::to_string(data.size()) + " name=bench.bin\r\n";
    out.reserve(data.size() + data.size() / 20);
    std::size_t column = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(static_cast<unsigned char>(data[i]) + 42);
        const bool edge = column == 0 || column >= 127 || i + 1 == data.size();
        if (c == 0 || c == '\n' || c == '\r' || c == '=' || (edge && (c == ' ' || c == '\t')) || (column == 0 && c == '.')) {
            out += '=';
            out += static_cast<char>(c + 64);
            column += 2;
        } else {
            out += static_cast<char>(c);
            ++column;
        }
        if (column >= 128) {
            out += "\r\n";
            column = 0;
        }
    }
    if (column > 0)
        out += "\r\n";
    char trailer[64];
    std::snprintf(trailer, sizeof trailer, "=yend size=%zu crc32=%08x\r\n", data.size(), crc);
    return out + trailer;
}

// Wall time and the process's processor time: on a shared machine the second is the fair
// figure, since the wall clock also counts the time other programs held the processor.
struct Took {
    double wall = -1;
    double cpu = -1;
};

double cpuNow()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Splits the article into lines as the body decoder does and feeds them to the yEnc
// decoder (a part's data lines in one run, read in place), which writes through a file stream; the times stay -1 when the check failed.
// With an empty path the bytes go into a buffer in memory instead (made before the clock
// starts), which tells the decoding apart from the file system's share.
Took decodeToFile(const std::string& article, const std::string& path, std::size_t expected)
{
    MemoryStream stream(article);
    std::string memory;
    if (path.empty())
        memory.assign(expected + YencLineDecoder::Slack, '\0');
    ::unlink(path.c_str());
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuNow();
    std::optional<FileStream> file;
    if (!path.empty())
        file.emplace(path, FileStream::Mode::CreateNew);
    YencDecoder decoder;
    bool good = false;
    decoder.onData = [&](const char* data, std::size_t n, std::uint64_t offset) {
        if (file)
            file->write(data, n);
        else if (offset + n <= memory.size())
            std::memcpy(memory.data() + offset, data, n);
    };
    decoder.onEnd = [&](const YencStart&, const YencResult& result) { good = result.good() && result.decoded == expected; };
    bool foldLines = false;
    bool stop = false;
    LineSplitter splitter(stream, foldLines, stop);
    splitter.run([&](char* line, std::size_t length) {
        decoder.feed(std::string_view(line, length));
        if (decoder.readingData())
            decoder.feedData(splitter.takeLinesUntil('=', 'y'));
    });
    decoder.finish();
    const bool closed = !file || file->close();
    Took took;
    if (good && closed)
        took = {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), cpuNow() - cpuStart};
    if (file)
        ::unlink(path.c_str());
    return took;
}

Took best(int rounds, const std::function<Took()>& run)
{
    Took fastest{1e30, 1e30};
    for (int i = 0; i < rounds; ++i) {
        const Took t = run();
        if (t.wall < 0)
            return t;
        fastest.wall = std::min(fastest.wall, t.wall);
        fastest.cpu = std::min(fastest.cpu, t.cpu);
    }
    return fastest;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);  // the saver's timers
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::string folder = argc > 2 ? argv[2] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    const std::string filePath = folder + "/bench_yenc." + std::to_string(::getpid()) + ".bin";
    const std::size_t size = megabytes * 1024 * 1024;

    std::mt19937_64 random(42);
    std::string payload(size, '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t word = random();
        std::memcpy(&payload[i], &word, 8);
    }
    const std::uint32_t crc = Crc32::update(0, payload.data(), payload.size());
    const std::string article = encodeArticle(payload, crc);
    const double inMB = static_cast<double>(article.size()) / 1e6;
    const double outMB = static_cast<double>(size) / 1e6;
    std::printf("payload %zu MiB (%.1f MB), encoded article %.1f MB, file in %s\n", megabytes, outMB, inMB, folder.c_str());

    const YencLineDecoder::Path paths[] = {YencLineDecoder::Path::Avx512, YencLineDecoder::Path::Avx2, YencLineDecoder::Path::Ssse3, YencLineDecoder::Path::Scalar};
    const Crc32::Path crcs[] = {Crc32::Path::Folding, Crc32::Path::Table};
    for (Crc32::Path crcPath : crcs) {
        if (crcPath == Crc32::Path::Folding && !Crc32::foldingAvailable())
            continue;
        Crc32::choose(crcPath);
        for (YencLineDecoder::Path decoderPath : paths) {
            if (!YencLineDecoder::available(decoderPath))
                continue;
            YencLineDecoder::choose(decoderPath);
            const Took t = best(5, [&] { return decodeToFile(article, filePath, size); });
            if (t.wall < 0) {
                std::printf("%-6s crc %-7s  FAILED: the decoded file did not check\n", YencLineDecoder::name(decoderPath),
                            crcPath == Crc32::Path::Folding ? "folding" : "table");
                return 1;
            }
            std::printf("%-6s crc %-7s  memory to file: %6.0f MB/s of input (%6.0f decoded) by processor time;"
                        " %6.0f MB/s of input by wall clock\n",
                        YencLineDecoder::name(decoderPath), crcPath == Crc32::Path::Folding ? "folding" : "table",
                        inMB / t.cpu, outMB / t.cpu, inMB / t.wall);
        }
    }
    YencLineDecoder::choose(YencLineDecoder::Path::Auto);
    Crc32::choose(Crc32::Path::Auto);
    std::printf("run-time choice: decoder %s, crc %s\n", YencLineDecoder::name(YencLineDecoder::chosen()),
                Crc32::chosen() == Crc32::Path::Folding ? "folding" : "table");

    // As a run saves: the same file through the saver, in one article and in 400 parts.
    QLoggingCategory::setFilterRules("*.info=false");
    const double memcpyRate = bench::SaverBench::memcpyMegabytesPerSecond();
    const Took alone = best(5, [&] { return decodeToFile(article, filePath, size); });
    const Took inMemory = best(5, [&] { return decodeToFile(article, std::string(), size); });
    bench::SaverBench saver(folder + "/bench_yenc_saver." + std::to_string(::getpid()));
    const auto one = saver.save(bench::SaverBench::yencArticles("bench.bin", payload, 1), "bench.bin", payload);
    const auto many = saver.save(bench::SaverBench::yencArticles("bench.bin", payload, 400), "bench.bin", payload);
    std::printf("\nMB/s of decoded bytes            wall     cpu   ratio (cpu)\n");
    std::printf("memcpy, 64 MB warm buffer     %7.0f\n", memcpyRate);
    std::printf("decoder alone, into memory    %7.0f %7.0f   %.2f of memcpy\n", outMB / inMemory.wall,
                outMB / inMemory.cpu, outMB / inMemory.cpu / memcpyRate);
    std::printf("decoder alone, into a file    %7.0f %7.0f   %.2f of memcpy\n", outMB / alone.wall, outMB / alone.cpu,
                outMB / alone.cpu / memcpyRate);
    std::printf("through the saver, 1 article  %7.0f %7.0f   %.2f of the decoder alone%s\n", outMB / one.seconds,
                outMB / one.cpu, alone.cpu / one.cpu, one.same ? "" : "  OUTPUT DIFFERS");
    std::printf("through the saver, 400 parts  %7.0f %7.0f   %.2f of 1 article%s\n", outMB / many.seconds,
                outMB / many.cpu, one.cpu / many.cpu, many.same ? "" : "  OUTPUT DIFFERS");
    std::printf("load average                  %s\n", bench::SaverBench::loadAverage().c_str());
    return one.same && many.same ? 0 : 1;
}
