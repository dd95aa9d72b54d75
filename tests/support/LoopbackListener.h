#pragma once

#include <cstdint>

namespace nimbra::test {

// A listening TCP socket on 127.0.0.1 at an ephemeral port, for fake servers in tests.
class LoopbackListener {
public:
    // The listening handle (the caller closes it) with its port in port; -1 on failure.
    static int open(std::uint16_t& port, int backlog = 8);
};

} // namespace nimbra::test
