#pragma once

#include <cstdint>
#include <string>
#include <thread>

// A news server on 127.0.0.1 for one connection: greets, answers MODE READER, answers LIST
// with the given number of groups, and waits for the client to go.
class ListServer {
public:
    explicit ListServer(int groups);
    ~ListServer();

    std::uint16_t port() const { return port_; }
    std::size_t listBytes() const { return list_.size(); }

private:
    void serve();
    bool readLine(int fd, std::string& pending, std::string& line);

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::string list_;
    std::thread thread_;
};
