#pragma once

#include <cstdint>
#include <vector>

namespace nimbra::test {

// A listener on 127.0.0.1 that never accepts and whose accept queue is already full, so a
// further connect to it is left waiting for an answer that never comes.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;

    std::uint16_t port() const { return port_; }
    // True when a probe connect was seen to hang, i.e. the queue is known to be full.
    bool stalled() const { return stalled_; }

private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    bool stalled_ = false;
    std::vector<int> fillers_;
};

} // namespace nimbra::test
