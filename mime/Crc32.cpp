#include "mime/Crc32.h"

#include <array>
#include <cstring>
#include <immintrin.h>

namespace nimbra {
namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables makeTables()
{
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (std::size_t s = 1; s < 8; ++s)
        for (std::size_t i = 0; i < 256; ++i)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

constexpr Tables tables = makeTables();

// The register form: no pre- or post-inversion.
std::uint32_t tableRegister(std::uint32_t c, const unsigned char* p, std::size_t n)
{
    while (n >= 8) {
        std::uint32_t lo;
        std::uint32_t hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        lo ^= c;
        c = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF]
            ^ tables[4][lo >> 24] ^ tables[3][hi & 0xFF] ^ tables[2][(hi >> 8) & 0xFF]
            ^ tables[1][(hi >> 16) & 0xFF] ^ tables[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n--)
        c = tables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return c;
}

__attribute__((target("pclmul,sse4.1")))
inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// Folds four 128-bit lanes over 64-byte blocks, then one lane over 16-byte blocks. The last
// lane stays congruent to everything folded into it, so the table finishes it as 16 bytes of
// message followed by the tail, which spares the final reduction step.
__attribute__((target("pclmul,sse4.1")))
std::uint32_t foldingRegister(std::uint32_t c, const unsigned char* p, std::size_t n)
{
    if (n < 64)
        return tableRegister(c, p, n);
    auto load = [](const unsigned char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const __m128i k4 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
    const __m128i k1 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = load(p + 16);
    __m128i x2 = load(p + 32);
    __m128i x3 = load(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64) {
        x0 = fold(x0, k4, load(p));
        x1 = fold(x1, k4, load(p + 16));
        x2 = fold(x2, k4, load(p + 32));
        x3 = fold(x3, k4, load(p + 48));
        p += 64;
        n -= 64;
    }
    x1 = fold(x0, k1, x1);
    x2 = fold(x1, k1, x2);
    x3 = fold(x2, k1, x3);
    while (n >= 16) {
        x3 = fold(x3, k1, load(p));
        p += 16;
        n -= 16;
    }
    unsigned char lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), x3);
    return tableRegister(tableRegister(0, lane, 16), p, n);
}

bool canFold()
{
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}

Crc32::Path chosenPath = Crc32::Path::Auto;

} // namespace

std::uint32_t Crc32::update(std::uint32_t crc, const void* data, std::size_t length)
{
    const auto* p = static_cast<const unsigned char*>(data);
    const bool folding = chosenPath != Path::Table && canFold();
    const std::uint32_t c = folding ? foldingRegister(~crc, p, length) : tableRegister(~crc, p, length);
    return ~c;
}

void Crc32::choose(Path path)
{
    chosenPath = path;
}

Crc32::Path Crc32::chosen()
{
    if (chosenPath == Path::Table || !canFold())
        return Path::Table;
    return Path::Folding;
}

bool Crc32::foldingAvailable()
{
    return canFold();
}

} // namespace nimbra
