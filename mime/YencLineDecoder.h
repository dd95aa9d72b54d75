#pragma once

#include <cstddef>

namespace nimbra {

// Decodes the data of yEnc lines: "=" escapes the next character, which loses 64 as well as
// the 42 every character loses (all modulo 256); CR and LF are ignored wherever they stand.
// Reads exactly the bytes given and no further. The vector paths (AVX2, SSSE3) are chosen at
// run time from what the processor offers (AVX-512 with byte compress, AVX2, SSSE3); the scalar path is the reference and the fallback.
class YencLineDecoder {
public:
    enum class Path { Auto, Scalar, Ssse3, Avx2, Avx512 };

    // Room the output needs beyond the input length: the vector paths store whole blocks.
    static constexpr std::size_t Slack = 64;

    // Decodes length bytes at in into out, which must hold length + Slack bytes, and returns
    // the number of bytes written. escaped says whether an escape is pending before the first
    // byte and is left saying whether the last "=" still waits for its character, so a caller
    // may carry an escape across a line end.
    static std::size_t decode(const char* in, std::size_t length, char* out, bool& escaped);

    // Chooses the path for later calls (tests, the benchmark); a path the processor cannot run
    // falls back to the best one it can. Not thread-safe against concurrent decode().
    static void choose(Path path);
    static Path chosen();
    static bool available(Path path);
    static const char* name(Path path);

    // The paths themselves, for tests that hold them against each other.
    static std::size_t decodeScalar(const char* in, std::size_t length, char* out, bool& escaped);
    static std::size_t decodeSsse3(const char* in, std::size_t length, char* out, bool& escaped);
    static std::size_t decodeAvx2(const char* in, std::size_t length, char* out, bool& escaped);
    static std::size_t decodeAvx512(const char* in, std::size_t length, char* out, bool& escaped);
};

} // namespace nimbra
