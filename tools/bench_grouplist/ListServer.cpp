#include "tools/bench_grouplist/ListServer.h"

#include <arpa/inet.h>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

ListServer::ListServer(int groups)
{
    list_ = "215 list of newsgroups follows\r\n";
    char line[96];
    for (int i = 0; i < groups; ++i) {
        std::snprintf(line, sizeof line, "alt.binaries.pictures.bench.%06d %010d %010d y\r\n", i, 100000 + i, i);
        list_ += line;
    }
    list_ += ".\r\n";
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

ListServer::~ListServer()
{
    ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable())
        thread_.join();
    ::close(listener_);
}

bool ListServer::readLine(int fd, std::string& pending, std::string& line)
{
    for (;;) {
        const std::size_t end = pending.find('\n');
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            pending.erase(0, end + 1);
            return true;
        }
        char buffer[512];
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0)
            return false;
        pending.append(buffer, static_cast<std::size_t>(count));
    }
}

void ListServer::serve()
{
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0)
        return;
    auto sendAll = [fd](const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t count = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (count <= 0)
                return;
            sent += static_cast<std::size_t>(count);
        }
    };
    sendAll("200 bench server ready\r\n");
    std::string pending;
    std::string line;
    while (readLine(fd, pending, line)) {
        if (line == "MODE READER")
            sendAll("200 reader\r\n");
        else if (line == "LIST")
            sendAll(list_);
        else if (line == "Quit")
            break;
        else
            sendAll("500 what?\r\n");
    }
    ::close(fd);
}
