#pragma once

#include <string>

namespace nimbra::test {

// JPEG pictures for the demo news server and the end-to-end tests, made here with libjpeg so
// that no picture file ships with the program: a landscape (sky, sun, hills) whose colours
// follow the seed, or, with noisy set, the same scene under coarse grain, which compresses
// badly and so makes a large file. The same arguments give the same bytes.
class DemoPicture {
public:
    // Throws std::runtime_error when libjpeg fails.
    static std::string jpeg(int width, int height, unsigned seed, bool noisy = false);
};

} // namespace nimbra::test
