#include "BenchNewsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

BenchNewsServer::BenchNewsServer(std::string articleBlock) : block_(std::move(articleBlock))
{
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 1) != 0
        || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

BenchNewsServer::~BenchNewsServer()
{
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
}

namespace {

bool sendAll(int fd, const std::string& bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void BenchNewsServer::serve()
{
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0)
        return;
    // News servers answer without waiting for acknowledgements; so does this one.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sendAll(fd, "200 bench server ready\r\n");
    std::string input;
    char buffer[4096];
    for (;;) {
        const std::size_t end = input.find("\r\n");
        if (end == std::string::npos) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            input.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        const std::string line = input.substr(0, end);
        input.erase(0, end + 2);
        if (line == "QUIT") {
            sendAll(fd, "205 bye\r\n");
            break;
        }
        if (line.rfind("ARTICLE ", 0) == 0) {
            const std::string number = line.substr(8);
            if (!sendAll(fd, "220 " + number + " <" + number + "@bench> article\r\n") || !sendAll(fd, block_))
                break;
        } else if (!sendAll(fd, "500 unknown\r\n")) {
            break;
        }
    }
    ::close(fd);
}
