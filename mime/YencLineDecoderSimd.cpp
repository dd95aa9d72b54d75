// The vector paths of YencLineDecoder. Every block is decoded in registers without branching
// on its content (clean and escaped blocks come mixed, and a branch between them mispredicts)
// and packed with a byte shuffle. Only a block where an escape falls on another "=" or on
// CR/LF ("==", "=\r") goes to the scalar path, which keeps the result identical to it.
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

#define YENC_TARGET __attribute__((target("ssse3,popcnt")))
namespace ssse3 {
#include "mime/YencBlockStep.inc"
}
#undef YENC_TARGET

#define YENC_TARGET __attribute__((target("avx2,ssse3,popcnt")))
namespace avx2 {
#include "mime/YencBlockStep.inc"

// The 32-byte form of block16: the escape mask is the "=" mask moved up one byte across the
// lane boundary, and the packing runs in four 8-byte groups.
YENC_TARGET inline bool block32(__m256i v, unsigned& carry, unsigned char*& o)
{
    const __m256i eqv = _mm256_cmpeq_epi8(v, _mm256_set1_epi8('='));
    const __m256i linev = _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r')),
                                          _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n')));
    const std::uint32_t eq = static_cast<std::uint32_t>(_mm256_movemask_epi8(eqv));
    const std::uint32_t special = eq | static_cast<std::uint32_t>(_mm256_movemask_epi8(linev));
    if ((((eq << 1) | carry) & special) != 0)
        return false;
    const __m256i below = _mm256_permute2x128_si256(eqv, eqv, 0x08);
    const __m256i escv = _mm256_or_si256(_mm256_alignr_epi8(eqv, below, 15),
                                         _mm256_setr_epi32(carry ? 0xFF : 0, 0, 0, 0, 0, 0, 0, 0));
    const __m256i r = _mm256_sub_epi8(_mm256_sub_epi8(v, _mm256_set1_epi8(42)),
                                      _mm256_and_si256(escv, _mm256_set1_epi8(64)));
    carry = eq >> 31;
    const std::uint32_t keep = ~special;
    const unsigned k0 = keep & 0xFF;
    const unsigned k1 = (keep >> 8) & 0xFF;
    const unsigned k2 = (keep >> 16) & 0xFF;
    const unsigned k3 = keep >> 24;
    constexpr std::uint64_t upper = 0x0808080808080808ull;
    const __m256i control = _mm256_set_epi64x(static_cast<long long>(shuffles[k3] + upper), static_cast<long long>(shuffles[k2]),
                                              static_cast<long long>(shuffles[k1] + upper), static_cast<long long>(shuffles[k0]));
    const __m256i packed = _mm256_shuffle_epi8(r, control);
    const __m128i lo = _mm256_castsi256_si128(packed);
    const __m128i hi = _mm256_extracti128_si256(packed, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), lo);
    o += __builtin_popcount(k0);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_srli_si128(lo, 8));
    o += __builtin_popcount(k1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), hi);
    o += __builtin_popcount(k2);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_srli_si128(hi, 8));
    o += __builtin_popcount(k3);
    return true;
}
}
#undef YENC_TARGET

#define YENC_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi2,avx2,ssse3,popcnt")))
namespace avx512 {
#include "mime/YencBlockStep.inc"

// A 64-byte block: the escapes are the "=" mask moved up one bit, the offsets come off under
// masks, and the kept bytes are packed by one compress. Returns false, having done nothing,
// for a block the scalar path must take.
YENC_TARGET inline bool block64(__m512i v, unsigned& carry, unsigned char*& o)
{
    const std::uint64_t eq = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('='));
    const std::uint64_t special = eq | _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\r'))
                                | _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n'));
    const std::uint64_t escapes = (eq << 1) | carry;
    if ((escapes & special) != 0)
        return false;
    __m512i r = _mm512_sub_epi8(v, _mm512_set1_epi8(42));
    r = _mm512_mask_sub_epi8(r, escapes, r, _mm512_set1_epi8(64));
    carry = static_cast<unsigned>(eq >> 63);
    const std::uint64_t keep = ~special;
    _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, r));
    o += __builtin_popcountll(keep);
    return true;
}
}
#undef YENC_TARGET

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
        ssse3::step16(p, carry, o);
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
    while (end - p >= 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        if (!avx2::block32(v, carry, o)) {
            avx2::step16(p, carry, o);
            avx2::step16(p + 16, carry, o);
        }
        p += 32;
    }
    while (end - p >= 16) {
        avx2::step16(p, carry, o);
        p += 16;
    }
    return finish(p, end, o, carry, out, escaped);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi2,avx2,ssse3,popcnt")))
std::size_t YencLineDecoder::decodeAvx512(const char* in, std::size_t length, char* out, bool& escaped)
{
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    const auto* end = p + length;
    auto* o = reinterpret_cast<unsigned char*>(out);
    unsigned carry = escaped ? 1 : 0;
    while (end - p >= 64) {
        const __m512i v = _mm512_loadu_si512(p);
        if (!avx512::block64(v, carry, o)) {
            for (int k = 0; k < 4; ++k)
                avx512::step16(p + 16 * k, carry, o);
        }
        p += 64;
    }
    while (end - p >= 16) {
        avx512::step16(p, carry, o);
        p += 16;
    }
    return finish(p, end, o, carry, out, escaped);
}

} // namespace nimbra
