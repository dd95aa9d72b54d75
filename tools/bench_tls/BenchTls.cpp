// Fetches 200 articles of 500 KB with ArticleByNumber into memory from a loopback server,
// in plain text and over TLS, alternating, three times each in the same run, and prints
// each run and the best of each with their ratio (the aim: TLS at 80% of plain or more).
#include "BenchNewsServer.h"
#include "BenchTlsNewsServer.h"

#include "net/AsyncSocket.h"
#include "net/NntpClient.h"
#include "platform/MemoryStream.h"
#include "tools/newsmodel/ServerCertificate.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

using namespace nimbra;
using nimbra::test::ServerCertificate;

namespace {

constexpr int Articles = 200;
constexpr std::size_t ArticleBytes = 500 * 1024;
constexpr int Rounds = 3;

// Header, blank line, uuencode-sized body lines, every 50th beginning with a dot; stuffed
// and terminated as on the wire. articleSize is the size the client stores.
std::string makeArticleBlock(std::size_t& articleSize)
{
    std::string wire = "Subject: benchmark article\r\nFrom: bench@test\r\n\r\n";
    articleSize = wire.size();
    for (int i = 0; articleSize < ArticleBytes; ++i) {
        std::string line(61, static_cast<char>('!' + i % 64));
        line[0] = i % 50 == 0 ? '.' : 'M';
        articleSize += line.size() + 2;
        wire += (line[0] == '.' ? "." : "") + line + "\r\n";
    }
    return wire + ".\r\n";
}

double processCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Figures {
    bool ok = false;
    double seconds = 0;
    double cpu = 0;
    double processCpu = 0;  // the server's thread included
    double megabytes = 0;
    double rate() const { return megabytes / seconds; }
};

Figures fetchAll(std::uint16_t port, std::size_t articleSize, const std::string* tlsFingerprint)
{
    NntpClient client;
    MemoryStream stream;
    QEventLoop loop;
    int fetched = 0;
    std::uint64_t bytes = 0;
    bool failed = false;
    client.SetHost("127.0.0.1");
    client.SetPort(std::to_string(port));
    client.Socket().SetTlsEnabled(tlsFingerprint != nullptr);
    if (tlsFingerprint)
        client.Socket().SetTlsAcceptedFingerprint(*tlsFingerprint);
    client.OnSessionConnected = [&](NntpClient& c, std::uint16_t) { c.ArticleByNumber(1, &stream); };
    client.OnRequestDone = [&](NntpClient& c, NntpRequest type, std::uint16_t error) {
        if (type != nntpArticleByNumber || error != 0) {
            failed = failed || error != 0 || type != nntpQuit;
            loop.quit();
            return;
        }
        failed = failed || static_cast<std::size_t>(stream.size()) != articleSize;
        bytes += static_cast<std::uint64_t>(stream.size());
        stream.clear();
        if (++fetched < Articles)
            c.ArticleByNumber(fetched + 1, &stream);
        else
            c.Quit();
    };
    const auto started = std::chrono::steady_clock::now();
    const double cpuStarted = threadCpu();
    const double processStarted = processCpu();
    client.Connect();
    QTimer::singleShot(120000, &loop, [&] { failed = true; loop.quit(); });
    loop.exec();
    Figures figures;
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    figures.cpu = threadCpu() - cpuStarted;
    figures.processCpu = processCpu() - processStarted;
    figures.megabytes = static_cast<double>(bytes) / 1e6;
    figures.ok = !failed && fetched == Articles;
    return figures;
}

void print(const char* name, int round, const Figures& f)
{
    std::printf("%-6s round %d: %7.1f MB/s  %.3f s  CPU: client %.3f s, with server %.3f s%s\n", name, round,
                f.rate(), f.seconds, f.cpu, f.processCpu, f.ok ? "" : "  FAILED");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::size_t articleSize = 0;
    const std::string block = makeArticleBlock(articleSize);
    const ServerCertificate certificate({"127.0.0.1"});
    const std::string fingerprint = certificate.fingerprint();
    std::printf("%d articles of %zu bytes each, 1 MB = 10^6 bytes\n", Articles, articleSize);

    double bestPlain = 0, bestTls = 0;
    bool ok = true;
    for (int round = 1; round <= Rounds; ++round) {
        Figures plain;
        {
            BenchNewsServer server(block);
            plain = fetchAll(server.port(), articleSize, nullptr);
        }
        print("plain", round, plain);
        Figures tls;
        {
            BenchTlsNewsServer server(block, certificate);
            tls = fetchAll(server.port(), articleSize, &fingerprint);
        }
        print("TLS", round, tls);
        ok = ok && plain.ok && tls.ok;
        bestPlain = std::max(bestPlain, plain.rate());
        bestTls = std::max(bestTls, tls.rate());
    }
    std::printf("best plain: %.1f MB/s, best TLS: %.1f MB/s, TLS/plain: %.0f%% (aim: at least 80%%)%s\n", bestPlain,
                bestTls, bestPlain > 0 ? 100.0 * bestTls / bestPlain : 0.0, ok ? "" : "  (a run FAILED)");
    return ok ? 0 : 1;
}
