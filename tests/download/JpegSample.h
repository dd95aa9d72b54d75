#pragma once

#include <string>

namespace nimbra::test {

// Writes JPEG files for tests and benchmarks with libjpeg-turbo: a colour picture of the
// given size with some texture in it, so it compresses like a photo rather than a flat field.
struct JpegSampleOptions {
    int quality = 85;
    bool progressive = false;
    bool grey = false;
};

class JpegSample {
public:
    using Options = JpegSampleOptions;
    // Throws std::runtime_error when the file cannot be written.
    static void write(const std::string& path, int width, int height, Options options);
    static void write(const std::string& path, int width, int height) { write(path, width, height, Options()); }
    // The same picture as bytes.
    static std::string bytes(int width, int height, Options options = Options());
    // Writes any bytes to a new numbered ".jpg" file in folder (ending in "/"); returns its path.
    static std::string fileWith(const std::string& folder, const std::string& bytes);
};

} // namespace nimbra::test
