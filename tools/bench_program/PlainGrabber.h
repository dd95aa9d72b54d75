#pragma once

#include <cstdint>
#include <string>

namespace nimbra::bench {

// The floor a harvest cannot go below: one connection that asks for every article of a group
// with pipelined ARTICLE commands and writes each reply, undecoded, into a file of its own.
// No parsing beyond finding each reply's end.
class PlainGrabber {
public:
    struct Result {
        long articles = 0;
        std::int64_t bytes = 0;
        double cpuSeconds = 0;  // of the calling thread
        double seconds = 0;
    };

    // Throws std::runtime_error when the server cannot be reached or answers out of turn.
    static Result grab(std::uint16_t port, const std::string& group, long first, long last, const std::string& folder,
                       int window = 16);
};

} // namespace nimbra::bench
