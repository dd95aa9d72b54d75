#pragma once

#include <string>
#include <vector>

namespace nimbra {

// The benchmark's folder of JPEGs (q90): nine in ten of 800 × 600, one in ten of 6000 × 4000,
// interleaved and each newer than the one before, under /tmp so that it is made once and
// reused by later runs (it takes a while). The files are copies of a few encoded pictures
// (distinct files, each with its own mtime); decoding cares only about their size.
class GalleryBenchFolder {
public:
    // Makes (or reuses) the folder of count pictures; its path ends in "/".
    static std::string make(int count);
    // The pictures' paths, oldest first.
    static std::vector<std::string> pictures(const std::string& folder, int count);
    static std::string nameOf(int index);
    static bool isLarge(int index) { return index % 10 == 9; }
};

} // namespace nimbra
