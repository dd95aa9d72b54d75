#include "tools/bench_program/PlainGrabber.h"

#include "tools/bench_common/BenchRun.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace nimbra::bench {
namespace {

class Connection {
public:
    explicit Connection(std::uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot reach the server");
    }
    ~Connection() { ::close(fd_); }

    void send(const std::string& text)
    {
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                throw std::runtime_error("the server closed the connection");
            sent += static_cast<std::size_t>(n);
        }
    }

    // The next line without its CR LF.
    std::string line()
    {
        for (;;) {
            const std::size_t lf = held_.find('\n', start_);
            if (lf != std::string::npos) {
                std::string text = held_.substr(start_, lf - start_);
                start_ = lf + 1;
                if (!text.empty() && text.back() == '\r')
                    text.pop_back();
                return text;
            }
            fill();
        }
    }

    // A multi-line block up to its "." line, as it came (still dot-stuffed).
    std::string block()
    {
        for (;;) {
            const std::size_t end = held_.find("\r\n.\r\n", start_ > 2 ? start_ - 2 : 0);
            if (end != std::string::npos && end + 2 >= start_) {
                std::string text = held_.substr(start_, end + 2 - start_);
                start_ = end + 5;
                return text;
            }
            fill();
        }
    }

private:
    void fill()
    {
        if (start_ > 0) {
            held_.erase(0, start_);
            start_ = 0;
        }
        char chunk[256 * 1024];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            throw std::runtime_error("the server closed the connection");
        held_.append(chunk, static_cast<std::size_t>(n));
    }

    int fd_ = -1;
    std::string held_;
    std::size_t start_ = 0;
};

void expect(const std::string& reply, const char* code)
{
    if (reply.compare(0, std::strlen(code), code) != 0)
        throw std::runtime_error("unexpected reply: " + reply);
}

} // namespace

PlainGrabber::Result PlainGrabber::grab(std::uint16_t port, const std::string& group, long first, long last,
                                        const std::string& folder, int window)
{
    Result result;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = BenchRun::threadProcessorSeconds();
    Connection connection(port);
    expect(connection.line(), "20");
    connection.send("GROUP " + group + "\r\n");
    expect(connection.line(), "211");
    long asked = first;
    auto ask = [&] { connection.send("ARTICLE " + std::to_string(asked++) + "\r\n"); };
    while (asked <= last && asked < first + window)
        ask();
    for (long number = first; number <= last; ++number) {
        const std::string reply = connection.line();
        if (asked <= last)
            ask();
        if (reply.compare(0, 3, "220") != 0)
            continue;
        const std::string article = connection.block();
        const std::string path = folder + "/" + std::to_string(number) + ".article";
        if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
            std::fwrite(article.data(), 1, article.size(), file);
            std::fclose(file);
        }
        ++result.articles;
        result.bytes += static_cast<std::int64_t>(article.size());
    }
    connection.send("QUIT\r\n");
    result.cpuSeconds = BenchRun::threadProcessorSeconds() - cpuStart;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace nimbra::bench
