#pragma once

#include <string>

namespace nimbra {

// Reads a JPEG file's pixel size from its first start-of-frame marker (any of C0 to CF but
// C4, C8 and CC: baseline, extended, progressive, lossless, hierarchical, arithmetic),
// walking the marker chain from the start of the file and reading nothing past that header.
// width and height are set only when such a frame header is found whole; otherwise they keep
// their values, so a caller that starts them at 0 sees 0 for a file that is not FF D8 at its
// start or a chain that breaks off.
//
// The bytes are untrusted: the walk ends at end of file, at a segment length below 2, or
// after MaxMarkers markers, so a truncated or looping chain cannot hang it.
// Throws std::runtime_error when the file cannot be opened for reading.
void JpegDimensions(const std::string& path, int& width, int& height);

namespace jpeg_dimensions {
constexpr int MaxMarkers = 100000;
}

} // namespace nimbra
