#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace nimbra {

// The transfer rate shown in the status bar: bytes received, averaged over the last few
// seconds. The caller adds the bytes of every line it receives and calls tick() once a second;
// the average covers the seconds ticked so far, at most Seconds of them.
class TransferRate {
public:
    static constexpr int Seconds = 4;

    void add(std::size_t bytes) { current_ += bytes; }
    // Closes the second that is running.
    void tick();
    void reset();
    // Connections working, shown beside the rate when more than one.
    void setConnections(int connections) { connections_ = connections; }
    int connections() const { return connections_; }
    double kilobytesPerSecond() const;
    // "123.4 KB/s", or "123.4 KB/s, 4 connections".
    std::string text() const;

private:
    std::array<std::uint64_t, Seconds> seconds_{};
    int filled_ = 0;
    int next_ = 0;
    std::uint64_t current_ = 0;
    int connections_ = 1;
};

} // namespace nimbra
