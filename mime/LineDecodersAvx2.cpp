// The AVX2 bulk of the base64 and uuencode line decoders: 32 characters a step give 24 bytes.
// For base64 every character of the block must be in the alphabet; a block holding anything
// else ("=", a space, a byte outside the alphabet) and the line's last characters go to the
// scalar rules, so both paths agree. uuencode takes any character (its value is the low six
// bits of the character less 32) while whole groups fit the line's count.
#include "mime/LineDecoders.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace nimbra {
namespace {

// Per 32-bit word of six-bit values a, b, c, d (one a byte) the three bytes they make, the
// 24 of the block at the front.
__attribute__((target("avx2"))) inline __m256i pack(__m256i values)
{
    // a << 18 | b << 12 | c << 6 | d per word, little-endian: bytes 2, 1, 0 are the output in
    // order; then the two lanes' twelve bytes are moved together.
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
                                           2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    const __m256i words = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(words, order), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

} // namespace

__attribute__((target("avx2")))
std::size_t LineDecoders::base64Avx2(const char* line, std::size_t length, char* output)
{
    const auto* in = reinterpret_cast<const unsigned char*>(line);
    const void* nul = std::memchr(line, 0, length);
    const auto* end = nul ? static_cast<const unsigned char*>(nul) : in + length;
    auto* out = reinterpret_cast<unsigned char*>(output);
    while (in < end && *in == ' ')
        ++in;

    // A byte is in the alphabet when the bit of its high nibble (0-7) is set in the mask its
    // low nibble looks up: "+" and "/" under 2, digits under 3, letters under 4 to 7.
    const __m256i lowMasks = _mm256_setr_epi8(
        char(0xA8), char(0xF8), char(0xF8), char(0xF8), char(0xF8), char(0xF8), char(0xF8), char(0xF8),
        char(0xF8), char(0xF8), char(0xF0), char(0x54), char(0x50), char(0x50), char(0x50), char(0x54),
        char(0xA8), char(0xF8), char(0xF8), char(0xF8), char(0xF8), char(0xF8), char(0xF8), char(0xF8),
        char(0xF8), char(0xF8), char(0xF0), char(0x54), char(0x50), char(0x50), char(0x50), char(0x54));
    const __m256i highBits = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, char(128), 0, 0, 0, 0, 0, 0, 0, 0,
                                              1, 2, 4, 8, 16, 32, 64, char(128), 0, 0, 0, 0, 0, 0, 0, 0);
    // What each high nibble adds to reach the six-bit value ("/" adds 3 less than "+").
    const __m256i offsets = _mm256_setr_epi8(0, 0, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0,
                                             0, 0, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i nibble = _mm256_set1_epi8(0x0F);

    // The 32-byte store reaches 8 bytes past the 24 decoded: within the length + 1 bytes the
    // output holds, and never past the input still to be read when decoding in place.
    while (end - in >= 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
        const __m256i known = _mm256_and_si256(_mm256_shuffle_epi8(lowMasks, _mm256_and_si256(v, nibble)),
                                               _mm256_shuffle_epi8(highBits, high));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(known, _mm256_setzero_si256())) != 0)
            break;
        __m256i values = _mm256_add_epi8(v, _mm256_shuffle_epi8(offsets, high));
        values = _mm256_add_epi8(values, _mm256_and_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('/')),
                                                          _mm256_set1_epi8(-3)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), pack(values));
        in += 32;
        out += 24;
    }
    return base64Rest(in, end, out, output);
}

__attribute__((target("avx2")))
std::size_t LineDecoders::uudecodeAvx2(const char* line, std::size_t length, char* out)
{
    if (length == 0)
        return 0;
    const auto* in = reinterpret_cast<const unsigned char*>(line);
    const std::size_t count = std::min<std::size_t>((in[0] - 32u) & 63u, length);
    std::size_t pos = 1;
    std::size_t written = 0;
    // The 24 bytes go out through a copy: the output may hold no more than the count, and
    // over the line itself they land behind what is still to be read.
    while (written + 24 <= count && pos + 32 <= length) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + pos));
        const __m256i values = _mm256_and_si256(_mm256_sub_epi8(v, _mm256_set1_epi8(32)), _mm256_set1_epi8(63));
        alignas(32) unsigned char bytes[32];
        _mm256_store_si256(reinterpret_cast<__m256i*>(bytes), pack(values));
        std::memcpy(out + written, bytes, 24);
        pos += 32;
        written += 24;
    }
    return uuRest(line, length, out, count, pos, written);
}

} // namespace nimbra
