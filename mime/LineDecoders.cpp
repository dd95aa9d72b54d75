#include "mime/LineDecoders.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace nimbra {
namespace {

constexpr unsigned char Pad = 64;
constexpr unsigned char Foreign = 255;

constexpr std::array<unsigned char, 256> makeBase64Values()
{
    std::array<unsigned char, 256> values{};
    values.fill(Foreign);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (unsigned char i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(alphabet[i])] = i;
    values['='] = Pad;
    return values;
}

constexpr std::array<unsigned char, 256> Base64Values = makeBase64Values();

// A character's value put where it lands in a group of four (shift 18, 12, 6 or 0), with
// bit 31 set for a character outside the alphabet (also "="): one lookup per character and
// one test per group tell a plain group apart.
constexpr std::array<std::uint32_t, 256> makeBase64Placed(unsigned shift)
{
    std::array<std::uint32_t, 256> placed{};
    for (unsigned c = 0; c < 256; ++c)
        placed[c] = Base64Values[c] < 64 ? std::uint32_t{Base64Values[c]} << shift : 0x80000000u;
    return placed;
}

constexpr std::array<std::uint32_t, 256> Base64At0 = makeBase64Placed(18);
constexpr std::array<std::uint32_t, 256> Base64At1 = makeBase64Placed(12);
constexpr std::array<std::uint32_t, 256> Base64At2 = makeBase64Placed(6);
constexpr std::array<std::uint32_t, 256> Base64At3 = makeBase64Placed(0);

// Copies the bytes from in up to the first "=" (or end) to out and returns where it stopped.
// Eight bytes a step: the text between escapes is mostly short, too short for a library
// search per escape to pay. out trails in by at least as much as in is from its line's start,
// so a whole step's store stays inside what the output may hold.
const char* findEquals(const char* in, const char* end, char* out)
{
    constexpr std::uint64_t ones = 0x0101010101010101u;
    while (end - in >= 8) {
        std::uint64_t word;
        std::memcpy(&word, in, 8);
        std::memcpy(out, &word, 8);
        const std::uint64_t x = word ^ (ones * '=');
        const std::uint64_t zero = (x - ones) & ~x & (ones * 0x80);
        if (zero != 0) // the lowest flag marks the first "=" exactly
            return in + __builtin_ctzll(zero) / 8;
        in += 8;
        out += 8;
    }
    while (in < end && *in != '=')
        *out++ = *in++;
    return in;
}

unsigned hexValue(unsigned char c)
{
    return (c >= '0' && c <= '9') ? c - '0' : (c & 15u) + 9u;
}

unsigned uuValue(unsigned char c)
{
    return (c - 32u) & 63u;
}

constexpr std::array<unsigned char, 256> makeXxValues()
{
    std::array<unsigned char, 256> values{};
    values.fill(Foreign);
    const char* alphabet = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    for (unsigned char i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(alphabet[i])] = i;
    return values;
}

constexpr std::array<unsigned char, 256> XxValues = makeXxValues();

// uuencode and xxencode share one layout: a count character, then groups of four six-bit
// values giving three bytes each; only the alphabet differs. This decodes from pos in the line
// with written bytes already out, count bytes in all (the count character may have been
// written over already, when decoding in place).
template <class Value>
std::size_t decodeGroupsFrom(const char* line, std::size_t length, char* out, Value sixBits, std::size_t count,
                             std::size_t pos, std::size_t written)
{
    const auto* in = reinterpret_cast<const unsigned char*>(line);
    auto value = [&](std::size_t i) { return i < length ? sixBits(in[i]) : 0u; };

    // Whole groups inside the line first: no end to watch for.
    for (; written + 3 <= count && pos + 4 <= length; pos += 4) {
        const unsigned w = sixBits(in[pos]);
        const unsigned x = sixBits(in[pos + 1]);
        const unsigned y = sixBits(in[pos + 2]);
        const unsigned z = sixBits(in[pos + 3]);
        out[written] = static_cast<char>(static_cast<unsigned char>(w * 4 + x / 16));
        out[written + 1] = static_cast<char>(static_cast<unsigned char>(x * 16 + y / 4));
        out[written + 2] = static_cast<char>(static_cast<unsigned char>(y * 64 + z));
        written += 3;
    }
    for (; written < count; pos += 4) {
        unsigned w, x, y, z;
        if (pos + 4 <= length) {
            w = sixBits(in[pos]);
            x = sixBits(in[pos + 1]);
            y = sixBits(in[pos + 2]);
            z = sixBits(in[pos + 3]);
        } else {
            w = value(pos);
            x = value(pos + 1);
            y = value(pos + 2);
            z = value(pos + 3);
        }
        // The group is read whole before its bytes land, which may be over the line itself.
        out[written++] = static_cast<char>(static_cast<unsigned char>(w * 4 + x / 16));
        if (written < count)
            out[written++] = static_cast<char>(static_cast<unsigned char>(x * 16 + y / 4));
        if (written < count)
            out[written++] = static_cast<char>(static_cast<unsigned char>(y * 64 + z));
    }
    return count;
}

template <class Value>
std::size_t decodeGroups(const char* line, std::size_t length, char* out, Value sixBits)
{
    if (length == 0)
        return 0;
    const std::size_t count = std::min<std::size_t>(sixBits(static_cast<unsigned char>(line[0])), length);
    return decodeGroupsFrom(line, length, out, sixBits, count, 1, 0);
}

} // namespace

std::size_t LineDecoders::base64(const char* line, std::size_t length, char* output)
{
    static const bool vector = avx2Available();
    return vector ? base64Avx2(line, length, output) : base64Scalar(line, length, output);
}

bool LineDecoders::avx2Available()
{
    return __builtin_cpu_supports("avx2");
}

std::size_t LineDecoders::base64Scalar(const char* line, std::size_t length, char* output)
{
    const auto* in = reinterpret_cast<const unsigned char*>(line);
    const void* nul = std::memchr(line, 0, length);
    const auto* end = nul ? static_cast<const unsigned char*>(nul) : in + length;
    while (in < end && *in == ' ')
        ++in;
    return base64Rest(in, end, reinterpret_cast<unsigned char*>(output), output);
}

std::size_t LineDecoders::base64Rest(const unsigned char* in, const unsigned char* end, unsigned char* out,
                                     char* output)
{
    // Groups of four alphabet characters, the bulk of every line, go the short way.
    while (end - in >= 4) {
        const std::uint32_t group = Base64At0[in[0]] | Base64At1[in[1]] | Base64At2[in[2]] | Base64At3[in[3]];
        if (group & 0x80000000u)
            break;
        in += 4;
        out[0] = static_cast<unsigned char>(group >> 16);
        out[1] = static_cast<unsigned char>(group >> 8);
        out[2] = static_cast<unsigned char>(group);
        out += 3;
    }
    while (in < end && *in != ' ') {
        const std::size_t have = std::min<std::size_t>(4, static_cast<std::size_t>(end - in));
        if (have == 1)
            break; // six bits make no byte
        const unsigned a = Base64Values[in[0]];
        const unsigned b = Base64Values[in[1]];
        const unsigned c = have > 2 ? Base64Values[in[2]] : Pad;
        const unsigned d = have > 3 ? Base64Values[in[3]] : Pad;
        in += have;
        // All four read before writing: the output trails the input inside the same line.
        *out++ = static_cast<unsigned char>(a * 4 + b / 16);
        if (c != Pad)
            *out++ = static_cast<unsigned char>(b * 16 + c / 4);
        if (d != Pad)
            *out++ = static_cast<unsigned char>(c * 64 + d);
    }
    *out = 0;
    return static_cast<std::size_t>(out - reinterpret_cast<unsigned char*>(output));
}

std::size_t LineDecoders::quotedPrintable(const char* line, std::size_t length, char* out, bool* softBreak)
{
    if (softBreak)
        *softBreak = false;
    const char* in = line;
    const char* end = line + length;
    char* o = out;
    while (in < end) {
        const char* eq = findEquals(in, end, o);
        o += eq - in;
        if (eq == end)
            break;
        const std::size_t after = static_cast<std::size_t>(end - eq - 1);
        if (after == 0) {
            if (softBreak)
                *softBreak = true;
            return static_cast<std::size_t>(o - out);
        }
        if (after == 1) {
            *o++ = eq[1];
            in = eq + 2;
        } else {
            const unsigned h1 = hexValue(static_cast<unsigned char>(eq[1]));
            const unsigned h2 = hexValue(static_cast<unsigned char>(eq[2]));
            *o++ = static_cast<char>(static_cast<unsigned char>(16 * h1 + h2));
            in = eq + 3;
        }
    }
    *o++ = '\r';
    *o++ = '\n';
    return static_cast<std::size_t>(o - out);
}

std::size_t LineDecoders::uudecode(const char* line, std::size_t length, char* out)
{
    static const bool vector = avx2Available();
    return vector ? uudecodeAvx2(line, length, out) : decodeGroups(line, length, out, uuValue);
}

std::size_t LineDecoders::uudecodeScalar(const char* line, std::size_t length, char* out)
{
    return decodeGroups(line, length, out, uuValue);
}

std::size_t LineDecoders::uuRest(const char* line, std::size_t length, char* out, std::size_t count, std::size_t pos,
                                 std::size_t written)
{
    return decodeGroupsFrom(line, length, out, uuValue, count, pos, written);
}

std::size_t LineDecoders::xxdecode(const char* line, std::size_t length, char* out)
{
    // A character outside the alphabet counts 0.
    return decodeGroups(line, length, out, [](unsigned char c) {
        const unsigned value = XxValues[c];
        return value == Foreign ? 0u : value;
    });
}

int LineDecoders::xxValue(char c)
{
    const unsigned char value = XxValues[static_cast<unsigned char>(c)];
    return value == Foreign ? -1 : value;
}

} // namespace nimbra
