// bench_mime [megabytes] [folder]: prints MB/s of encoded article input decoded from memory,
// with the decoded bytes written to a file in folder (default: a new folder under /tmp); then,
// per encoding, the decoder alone against the same file saved through the saver from one
// article and from 400 (split uuencode, message/partial), beside memcpy of a warm 64 MB
// buffer, with the ratios and the load average.
#include "mime/MimeDecoder.h"
#include "platform/FileStream.h"
#include "platform/MemoryStream.h"
#include "platform/UniqueFileName.h"
#include "tools/benchsaver/SaverBench.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

using namespace nimbra;

namespace {

std::string base64Body(const std::string& data)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(data.size() / 57 * 78 + 80);
    for (std::size_t i = 0; i < data.size(); i += 57) {
        const std::size_t end = std::min(data.size(), i + 57);
        for (std::size_t j = i; j < end; j += 3) {
            const auto b = [&](std::size_t k) { return k < end ? static_cast<unsigned char>(data[k]) : 0u; };
            const unsigned v = b(j) << 16 | b(j + 1) << 8 | b(j + 2);
            out += alphabet[v >> 18 & 63];
            out += alphabet[v >> 12 & 63];
            out += j + 1 < end ? alphabet[v >> 6 & 63] : '=';
            out += j + 2 < end ? alphabet[v & 63] : '=';
        }
        out += "\r\n";
    }
    return out;
}

std::string uuBody(const std::string& data)
{
    auto put = [](std::string& out, unsigned v) { out += static_cast<char>(v ? v + 32 : '`'); };
    std::string out = "begin 644 bench-uu.bin\r\n";
    out.reserve(data.size() / 45 * 63 + 80);
    for (std::size_t i = 0; i < data.size(); i += 45) {
        const std::size_t end = std::min(data.size(), i + 45);
        put(out, static_cast<unsigned>(end - i));
        for (std::size_t j = i; j < end; j += 3) {
            const auto b = [&](std::size_t k) { return k < end ? static_cast<unsigned char>(data[k]) : 0u; };
            const unsigned v = b(j) << 16 | b(j + 1) << 8 | b(j + 2);
            put(out, v >> 18 & 63);
            put(out, v >> 12 & 63);
            put(out, v >> 6 & 63);
            put(out, v & 63);
        }
        out += "\r\n";
    }
    return out + "`\r\nend\r\n";
}

// Text with CR LF line ends, escaped the usual way: 76 columns, soft breaks, "=XX" for "=",
// 8-bit bytes and a trailing blank.
std::string quotedPrintableBody(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        const bool lineEnd = i + 1 < text.size() && text[i + 1] == '\r';
        const bool escape = c == '=' || c >= 127 || (c < 32 && c != '\t') || (lineEnd && c == ' ');
        if (column + (escape ? 3 : 1) > 75) {
            out += "=\r\n";
            column = 0;
        }
        if (escape) {
            out += '=';
            out += hex[c >> 4];
            out += hex[c & 15];
            column += 3;
        } else {
            out += static_cast<char>(c);
            ++column;
        }
    }
    return out;
}

std::string randomBytes(std::size_t size)
{
    std::mt19937_64 random(64);
    std::string data(size, '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const auto v = random();
        std::memcpy(&data[i], &v, 8);
    }
    return data;
}

std::string latinText(std::size_t size)
{
    static const char* words[] = {"the", "harbour", "caf\xe9", "picture", "na\xefve", "=", "of", "coast",
                                  "r\xe9sum\xe9", "and", "sunset", "2026", "\xa9", "boats", "light"};
    std::mt19937 random(7);
    std::string text;
    text.reserve(size + 100);
    std::size_t column = 0;
    while (text.size() < size) {
        const std::string word = words[random() % 15];
        text += word;
        column += word.size() + 1;
        if (column > 60 + random() % 40) {
            text += "\r\n";
            column = 0;
        } else {
            text += ' ';
        }
    }
    return text + "\r\n";
}

std::string multipart(const std::string& partHeader, const std::string& body)
{
    // The line break before a delimiter belongs to the delimiter, so a body's own last line
    // break needs one more after it.
    return "Subject: benchmark\r\nContent-Type: multipart/mixed; boundary=\"=_b\"\r\n\r\n--=_b\r\n" + partHeader
        + "\r\n" + body + "\r\n--=_b--\r\n";
}

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Best {
    double wall = 0;
    double cpu = 0;
};

// Decodes the article three times into fresh files (or, with intoMemory, into a buffer
// made before the clock starts: the decoding without the file system's share); prints and
// returns the best wall and processor times.
Best run(const char* label, const std::string& folder, const std::string& article, const std::string& expected,
         bool intoMemory = false)
{
    double bestWall = 1e9, bestCpu = 1e9;
    bool same = true;
    for (int round = 0; round < 3; ++round) {
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            std::filesystem::remove(entry.path());
        MimeDecoder decoder;
        std::unique_ptr<FileStream> out;
        auto open = [&](const std::string& name) {
            if (intoMemory)
                return;
            out = std::make_unique<FileStream>(folder + UniqueFileName::free(folder, name), FileStream::Mode::CreateNew);
        };
        decoder.OnPartBegin = [&](MimeDecoder& d) {
            if (const auto name = d.PartFileName(); name && !name->empty())
                open(*name);
        };
        decoder.OnUuBegin = [&](MimeDecoder&, const std::string& name) { open(name); };
        // Touched before the clock starts, as memcpy's buffer is: a first touch of each page
        // is the kernel's cost, not the decoder's.
        std::string memory(expected.size() + 4096, '\0');
        memory.clear();
        decoder.OnPartLine = [&](MimeDecoder&, const char* data, std::size_t length) {
            if (intoMemory)
                memory.append(data, length);
            else if (out)
                out->write(data, length);
        };
        decoder.OnPartEnd = [&](MimeDecoder&) { out.reset(); };
        MemoryStream stream(article);
        const auto wall0 = std::chrono::steady_clock::now();
        const double cpu0 = cpuSeconds();
        decoder.DecodeStream(stream);
        out.reset();
        bestCpu = std::min(bestCpu, cpuSeconds() - cpu0);
        bestWall = std::min(bestWall, std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count());
        std::string written = memory;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            written = readFile(entry.path().string());
        same = same && (expected.empty() || written == expected);
    }
    const double mb = static_cast<double>(article.size()) / 1e6;
    std::printf("%-22s %8.1f MB in  %7.3f s wall %7.1f MB/s   %7.3f s cpu %7.1f MB/s   output %s\n", label, mb,
                bestWall, mb / bestWall, bestCpu, mb / bestCpu, same ? "matches" : "DIFFERS");
    return {bestWall, bestCpu};
}

// The decoder alone against the saver, in MB/s of decoded bytes.
void compare(const char* label, double decodedMB, const Best& alone, const bench::SaverBench::Timing& one,
             const bench::SaverBench::Timing& many, double memcpyRate)
{
    std::printf("%-17s %7.0f %7.0f (%.2f of memcpy) | %7.0f %7.0f (%.2f) | %7.0f %7.0f (%.2f of 1)%s\n", label,
                decodedMB / alone.wall, decodedMB / alone.cpu, decodedMB / alone.cpu / memcpyRate,
                decodedMB / one.seconds, decodedMB / one.cpu, alone.cpu / one.cpu, decodedMB / many.seconds,
                decodedMB / many.cpu, one.cpu / many.cpu, one.same && many.same ? "" : "  OUTPUT DIFFERS");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);  // the saver's timers
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    std::string folder = argc > 2 ? argv[2] : "";
    if (folder.empty()) {
        char pattern[] = "/tmp/bench-mime-XXXXXX";
        folder = ::mkdtemp(pattern);
    }
    if (folder.back() != '/')
        folder += '/';
    std::filesystem::create_directories(folder);

    const std::size_t size = megabytes * 1024 * 1024;
    const std::string data = randomBytes(size);
    const std::string text = latinText(size);
    std::printf("attachment %zu MB, decoded from memory into files in %s (best of 3)\n", megabytes, folder.c_str());

    const std::string base64 = multipart(
        "Content-Type: application/octet-stream; name=\"bench.bin\"\r\nContent-Transfer-Encoding: base64\r\n",
        base64Body(data));
    const std::string qp = multipart(
        "Content-Type: text/plain; name=\"bench.txt\"\r\nContent-Transfer-Encoding: quoted-printable\r\n",
        quotedPrintableBody(text));
    const Best base64Alone = run("base64", folder, base64, data);
    const Best qpAlone = run("quoted-printable", folder, qp, text);
    const Best uuAlone = run("uuencode (single part)", folder, "Subject: benchmark\r\n\r\n" + uuBody(data), data);
    const Best base64Memory = run("base64, into memory", folder, base64, data, true);
    const Best qpMemory = run("q-p, into memory", folder, qp, text, true);
    const Best uuMemory = run("uuencode, into memory", folder, "Subject: benchmark\r\n\r\n" + uuBody(data), data, true);
    // One line as long as the attachment: the splitter must stay linear.
    std::string line(size, 'x');
    const std::string label = "one " + std::to_string(megabytes) + " MB line (7bit)";
    run(label.c_str(), folder,
        multipart("Content-Type: text/plain; name=\"line.txt\"\r\n", line + "\r\n"), line + "\r\n");

    // As a run saves: through the saver, from one article and from 400.
    QLoggingCategory::setFilterRules("*.info=false");
    const double memcpyRate = bench::SaverBench::memcpyMegabytesPerSecond();
    bench::SaverBench saver(folder + "saver");
    using bench::SaverBench;
    std::printf("\nMB/s of decoded bytes, wall and cpu; ratios by cpu. memcpy of a warm 64 MB buffer: %.0f MB/s\n",
                memcpyRate);
    std::printf("%-17s %-32s | %-23s | %s\n", "", "decoder alone", "saver, 1 article (of alone)",
                "saver, 400 articles");
    const double dataMB = static_cast<double>(data.size()) / 1e6;
    const double textMB = static_cast<double>(text.size()) / 1e6;
    compare("base64", dataMB, base64Alone, saver.save(SaverBench::messageArticles(base64, 1), "bench.bin", data),
            saver.save(SaverBench::messageArticles(base64, 400), "bench.bin", data), memcpyRate);
    compare("quoted-printable", textMB, qpAlone, saver.save(SaverBench::messageArticles(qp, 1), "bench.txt", text),
            saver.save(SaverBench::messageArticles(qp, 400), "bench.txt", text), memcpyRate);
    compare("uuencode", dataMB, uuAlone, saver.save(SaverBench::uuArticles("bench-uu.bin", data, 1), "bench-uu.bin", data),
            saver.save(SaverBench::uuArticles("bench-uu.bin", data, 400), "bench-uu.bin", data), memcpyRate);
    std::printf("decoder alone into memory, cpu: base64 %.0f MB/s (%.2f of memcpy), quoted-printable %.0f (%.2f), "
                "uuencode %.0f (%.2f)\n",
                dataMB / base64Memory.cpu, dataMB / base64Memory.cpu / memcpyRate, textMB / qpMemory.cpu,
                textMB / qpMemory.cpu / memcpyRate, dataMB / uuMemory.cpu, dataMB / uuMemory.cpu / memcpyRate);
    std::printf("load average %s\n", SaverBench::loadAverage().c_str());
    std::filesystem::remove_all(folder);
    return 0;
}
