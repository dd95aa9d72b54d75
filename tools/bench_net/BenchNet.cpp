// Fetches 200 articles of 500 KB with ArticleByNumber into memory from a loopback server and
// prints the throughput and the CPU time spent.
#include "BenchNewsServer.h"

#include "net/NntpClient.h"
#include "platform/MemoryStream.h"

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>

using namespace nimbra;

namespace {

constexpr int Articles = 200;
constexpr std::size_t ArticleBytes = 500 * 1024;

// Header, blank line, then uuencode-sized body lines, some of them beginning with a dot;
// dot-stuffed and terminated as on the wire. Returns the block and the unstuffed size.
std::string makeArticleBlock(std::size_t& articleSize)
{
    std::string wire = "Subject: benchmark article\r\nFrom: bench@test\r\n\r\n";
    articleSize = wire.size();
    for (int i = 0; articleSize < ArticleBytes; ++i) {
        std::string line(61, static_cast<char>('!' + i % 64));
        line[0] = i % 50 == 0 ? '.' : 'M';
        articleSize += line.size() + 2;
        if (line[0] == '.')
            wire += '.';
        wire += line;
        wire += "\r\n";
    }
    return wire + ".\r\n";
}

double seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double threadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::size_t articleSize = 0;
    BenchNewsServer server(makeArticleBlock(articleSize));

    NntpClient client;
    MemoryStream stream;
    int fetched = 0;
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    bool failed = false;
    client.SetHost("127.0.0.1");
    client.SetPort(std::to_string(server.port()));
    client.OnMessageLine = [&](NntpClient&) { ++lines; };

    const auto started = std::chrono::steady_clock::now();
    const double cpuStarted = threadCpu();
    client.OnSessionConnected = [&](NntpClient& c, std::uint16_t) { c.ArticleByNumber(1, &stream); };
    client.OnRequestDone = [&](NntpClient& c, NntpRequest type, std::uint16_t error) {
        if (type == nntpQuit || error != 0 || type != nntpArticleByNumber) {
            failed = failed || error != 0;
            app.quit();
            return;
        }
        if (static_cast<std::size_t>(stream.size()) != articleSize)
            failed = true;
        bytes += static_cast<std::uint64_t>(stream.size());
        stream.clear();
        if (++fetched < Articles)
            c.ArticleByNumber(fetched + 1, &stream);
        else
            c.Quit();
    };
    client.Connect();
    QTimer::singleShot(120000, &app, [&] { failed = true; app.quit(); });
    app.exec();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double clientCpu = threadCpu() - cpuStarted;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    std::printf("articles fetched:     %d of %d (%zu bytes each)%s\n", fetched, Articles, articleSize,
                failed ? "  FAILED" : "");
    std::printf("data lines:           %llu\n", static_cast<unsigned long long>(lines));
    std::printf("elapsed:              %.3f s\n", wall);
    std::printf("throughput:           %.1f MB/s (article bytes, 1 MB = 10^6 bytes)\n", bytes / wall / 1e6);
    std::printf("client thread CPU:    %.3f s (%.1f MB per CPU second)\n", clientCpu, bytes / clientCpu / 1e6);
    std::printf("process CPU:          %.3f s user + %.3f s system (server thread included)\n",
                seconds(usage.ru_utime), seconds(usage.ru_stime));
    return failed ? 1 : 0;
}
