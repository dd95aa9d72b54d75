#pragma once

#include <cstdint>
#include <optional>
#include <string>

class QImage;

namespace nimbra {

// A picture's 64-bit difference hash: the picture shrunk to 9 × 8 grey values, one bit per
// pair of horizontal neighbours (set where the right one is brighter), row by row from the
// top, bit 0 first. A scaled or re-encoded copy of a picture keeps nearly all its bits; an
// unrelated picture differs in about half. Touches no widget; any thread.
class DifferenceHash {
public:
    // From an image already decoded (a preview or thumbnail does); none for a null image.
    static std::optional<std::uint64_t> of(const QImage& image);
    // Decodes the file at a small scale (a JPEG is scaled while it is decoded) and hashes
    // it; none when it is no picture Qt can read.
    static std::optional<std::uint64_t> ofFile(const std::string& path);
    // The longer side the file is decoded at for hashing.
    static constexpr int DecodeSide = 160;
};

} // namespace nimbra
