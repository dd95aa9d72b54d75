#pragma once

#include <cstdint>

namespace nimbra {

// How many article numbers the next overview request covers. The block follows the bytes of
// the last reply so that a reply stays near TargetBytes: a group of long overview lines gets
// smaller blocks, a sparse group (many numbers without an article) larger ones. It grows at most
// fourfold per reply and stays within Smallest..Largest, which bounds the walk's memory (one
// entry per chosen article of a block) whatever the server sends. A fixed size does not adapt.
class OverviewBlockSize {
public:
    static constexpr std::int64_t Initial = 5000;
    static constexpr std::int64_t Smallest = 100;
    static constexpr std::int64_t Largest = 200000;
    static constexpr std::int64_t TargetBytes = 2 << 20;

    std::int64_t size() const { return size_; }
    // A fixed size (tests, and a server that must be asked in small steps); 0 or less adapts again from Initial.
    void fix(std::int64_t size);
    // The reply to a block of the given numbers came with these bytes.
    void replied(std::int64_t numbers, std::int64_t bytes);

private:
    std::int64_t size_ = Initial;
    bool fixed_ = false;
};

} // namespace nimbra
