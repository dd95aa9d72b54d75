#pragma once

#include "download/ContentHasher.h"
#include "download/YencPartLedger.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimbra {

// The content digest of a file put together from parts written at their offsets, made as the
// parts come rather than by reading the whole file back once it is complete (which held the
// window's thread for seconds on a file of a few GB). A part that continues the hashed
// beginning of the file is hashed from memory; the parts already written after it, which came
// early, are then read back from the file and hashed, in order. One per unfinished file; one
// thread.
class PrefixHasher {
public:
    // The part [begin, begin + length) of the file at path was written with these bytes;
    // parts: every part written so far, this one included.
    void written(const std::string& path, const std::vector<YencPartLedger::Part>& parts, std::uint64_t begin,
                 const char* bytes, std::size_t length);
    // The digest when exactly the file's size has been hashed; none otherwise (a part could
    // not be read back, or the parts do not join up).
    std::optional<ContentDigest> digest(std::uint64_t size);
    std::uint64_t hashed() const { return hashed_; }
    // Gathering memory held between parts (none once a part is written), for the tests.
    std::size_t gatheringCapacity() const { return hasher_.gatheringCapacity(); }

private:
    bool readBack(const std::string& path, std::uint64_t begin, std::uint64_t end);

    ContentHasher hasher_;
    std::uint64_t hashed_ = 0;
    bool broken_ = false;
};

} // namespace nimbra
