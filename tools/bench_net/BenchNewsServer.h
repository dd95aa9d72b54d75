#pragma once

#include <cstdint>
#include <string>
#include <thread>

// A loopback news server for the benchmark: a banner, then the same prepared article for
// every "ARTICLE n", "205" for QUIT. One connection, its own thread, blocking sockets.
class BenchNewsServer {
public:
    explicit BenchNewsServer(std::string articleBlock);
    ~BenchNewsServer();

    std::uint16_t port() const { return port_; }

private:
    void serve();

    std::string block_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};
