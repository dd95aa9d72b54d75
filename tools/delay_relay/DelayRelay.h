#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace nimbra {

// Listens on 127.0.0.1 and forwards every connection to a target port on 127.0.0.1, holding
// each chunk of bytes for delayMs in each direction (a round trip of twice that), with the
// order and the contents unchanged. A close on either side is passed on after the bytes
// before it. Runs on its own thread from start() until stop() or destruction; serves any
// number of connections at once. Loopback only: it never reaches another host.
// With a connection rate set, each connection's bytes leave at most at that rate in each
// direction, as servers that cap every connection's speed send them; the relay then reads
// no more ahead than the rate brings within the delay, so the sender waits as it would.
class DelayRelay {
public:
    DelayRelay(std::uint16_t targetPort, int delayMs, std::uint16_t listenPort = 0);
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    // Bytes per second each connection may carry each way; 0 (the default) for no limit.
    // Set before start().
    void setConnectionRate(std::int64_t bytesPerSecond) { rate_ = bytesPerSecond; }
    // False (with the reason on standard error) when the port cannot be listened on.
    bool start();
    void stop();
    // The port listened on (the one chosen by the system when 0 was asked for).
    std::uint16_t port() const { return port_; }

private:
    void run();

    std::uint16_t targetPort_;
    int delayMs_;
    std::int64_t rate_ = 0;
    std::uint16_t port_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace nimbra
