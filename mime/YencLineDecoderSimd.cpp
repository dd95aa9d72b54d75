// The vector paths of YencLineDecoder. A block of 16 bytes without "=", CR or LF only loses
// 42; a block with them is decoded in registers and packed with a byte shuffle, unless an
// escape falls on another "=" or on CR/LF ("==", "=\r"): those rare blocks go to the scalar
// path, which keeps the result identical to it in every case.
#include "mime/YencLineDecoder.h"

#include <array>
#include <cstdint>
#include <immintrin.h>

namespace nimbra {
namespace {

using ShuffleTable = std::array<std::uint64_t, 256>;

// For each 8-bit keep mask: the indices of the kept bytes, packed to the front.
constexpr ShuffleTable makeShuffles()
{
    ShuffleTable t{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        std::uint64_t entry = 0x8080808080808080ull;
        unsigned slot = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (mask & (1u << bit)) {
                entry &= ~(0xFFull << (8 * slot));
                entry |= static_cast<std::uint64_t>(bit) << (8 * slot);
                ++slot;
            }
        }
        t[mask] = entry;
    }
    return t;
}

constexpr ShuffleTable shuffles = makeShuffles();

// Decodes one 16-byte block. carry is 1 when the block's first byte is escaped and is left
// saying whether its last byte is an escape. Returns false, having done nothing, for a block
// the scalar path must take.
__attribute__((target("ssse3,popcnt")))
inline bool block16(__m128i v, unsigned& carry, unsigned char*& o)
{
    const __m128i eqv = _mm_cmpeq_epi8(v, _mm_set1_epi8('='));
    const __m128i linev = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
    const unsigned eq = static_cast<unsigned>(_mm_movemask_epi8(eqv));
    const unsigned special = eq | static_cast<unsigned>(_mm_movemask_epi8(linev));
    const __m128i minus42 = _mm_set1_epi8(42);
    if ((special | carry) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_sub_epi8(v, minus42));
        o += 16;
        return true;
    }
    const unsigned esc = ((eq << 1) | carry) & 0xFFFF;
    if (esc & special)
        return false;
    const __m128i escv = _mm_or_si128(_mm_slli_si128(eqv, 1), _mm_cvtsi32_si128(carry ? 0xFF : 0));
    const __m128i r = _mm_sub_epi8(_mm_sub_epi8(v, minus42), _mm_and_si128(escv, _mm_set1_epi8(64)));
    carry = eq >> 15;
    const unsigned keep = ~special & 0xFFFF;
    if (keep == 0xFFFF) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), r);
        o += 16;
        return true;
    }
    const unsigned lo = keep & 0xFF;
    const unsigned hi = keep >> 8;
    const __m128i control = _mm_set_epi64x(static_cast<long long>(shuffles[hi] + 0x0808080808080808ull),
                                           static_cast<long long>(shuffles[lo]));
    const __m128i packed = _mm_shuffle_epi8(r, control);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), packed);
    o += __builtin_popcount(lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_srli_si128(packed, 8));
    o += __builtin_popcount(hi);
    return true;
}

__attribute__((target("ssse3,popcnt")))
inline void step16(const unsigned char* p, unsigned& carry, unsigned char*& o)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (!block16(v, carry, o)) {
        bool escaped = carry != 0;
        o += YencLineDecoder::decodeScalar(reinterpret_cast<const char*>(p), 16, reinterpret_cast<char*>(o), escaped);
        carry = escaped ? 1 : 0;
    }
}

std::size_t finish(const unsigned char* p, const unsigned char* end, unsigned char* o, unsigned carry,
                   char* out, bool& escaped)
{
    bool esc = carry != 0;
    o += YencLineDecoder::decodeScalar(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p),
                                       reinterpret_cast<char*>(o), esc);
    escaped = esc;
    return static_cast<std::size_t>(reinterpret_cast<char*>(o) - out);
}

} // namespace

__attribute__((target("ssse3,popcnt")))
std::size_t YencLineDecoder::decodeSsse3(const char* in, std::size_t length, char* out, bool& escaped)
{
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    const auto* end = p + length;
    auto* o = reinterpret_cast<unsigned char*>(out);
    unsigned carry = escaped ? 1 : 0;
    while (end - p >= 16) {
        step16(p, carry, o);
        p += 16;
    }
    return finish(p, end, o, carry, out, escaped);
}

__attribute__((target("avx2,ssse3,popcnt")))
std::size_t YencLineDecoder::decodeAvx2(const char* in, std::size_t length, char* out, bool& escaped)
{
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    const auto* end = p + length;
    auto* o = reinterpret_cast<unsigned char*>(out);
    unsigned carry = escaped ? 1 : 0;
    const __m256i equals = _mm256_set1_epi8('=');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i minus42 = _mm256_set1_epi8(42);
    while (end - p >= 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i special = _mm256_or_si256(_mm256_cmpeq_epi8(v, equals),
                                                _mm256_or_si256(_mm256_cmpeq_epi8(v, cr), _mm256_cmpeq_epi8(v, lf)));
        if (carry == 0 && _mm256_testz_si256(special, special)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm256_sub_epi8(v, minus42));
            o += 32;
        } else {
            step16(p, carry, o);
            step16(p + 16, carry, o);
        }
        p += 32;
    }
    while (end - p >= 16) {
        step16(p, carry, o);
        p += 16;
    }
    return finish(p, end, o, carry, out, escaped);
}

} // namespace nimbra
