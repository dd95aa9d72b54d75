#include "BenchTlsNewsServer.h"

#include "tests/support/LoopbackListener.h"
#include "tools/newsmodel/TlsServerStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

using nimbra::test::TlsServerStream;

BenchTlsNewsServer::BenchTlsNewsServer(std::string articleBlock, const nimbra::test::ServerCertificate& certificate)
    : block_(std::move(articleBlock)), certificate_(certificate)
{
    listener_ = nimbra::test::LoopbackListener::open(port_, 1);
    if (listener_ < 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    thread_ = std::thread([this] { serve(); });
}

BenchTlsNewsServer::~BenchTlsNewsServer()
{
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
}

void BenchTlsNewsServer::serve()
{
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0)
        return;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    TlsServerStream tls(fd, certificate_);
    const auto reply = [&tls](const std::string& text) { return tls.send(text.data(), text.size()); };
    std::string input;
    char buffer[4096];
    bool open = tls.handshake() && reply("200 bench server ready\r\n");
    while (open) {
        const std::size_t end = input.find("\r\n");
        if (end == std::string::npos) {
            const long n = tls.receive(buffer, sizeof buffer);
            open = n > 0;
            input.append(buffer, static_cast<std::size_t>(open ? n : 0));
            continue;
        }
        const std::string line = input.substr(0, end);
        input.erase(0, end + 2);
        if (line == "QUIT") {
            reply("205 bye\r\n");
            break;
        }
        if (line.rfind("ARTICLE ", 0) == 0) {
            const std::string number = line.substr(8);
            open = reply("220 " + number + " <" + number + "@bench> article\r\n") && reply(block_);
        } else {
            open = reply("500 unknown\r\n");
        }
    }
    tls.shutdown();
    ::close(fd);
}
