#include "mime/LineDecoders.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace nimbra {
namespace {

// Decodes a copy held in a buffer exactly as long as the line plus its NUL slot, so that
// AddressSanitizer sees any read or write past the line: by every path, in place and into a
// separate buffer of exactly that size, each of which must give the same bytes.
std::string base64(const std::string& line)
{
    using Decode = std::size_t (*)(const char*, std::size_t, char*);
    std::vector<Decode> paths = {&LineDecoders::base64Scalar};
    if (LineDecoders::avx2Available())
        paths.push_back(&LineDecoders::base64Avx2);
    std::string first;
    for (const Decode decode : paths) {
        for (const bool inPlace : {true, false}) {
            std::vector<char> buffer(line.begin(), line.end());
            buffer.push_back('\0');
            auto out = std::make_unique<char[]>(line.size() + 1);
            char* target = inPlace ? buffer.data() : out.get();
            const std::size_t n = decode(buffer.data(), line.size(), target);
            EXPECT_LE(n, line.size());
            EXPECT_EQ(target[n], '\0');
            const std::string decoded(target, n);
            if (decode == paths.front() && inPlace)
                first = decoded;
            EXPECT_EQ(decoded, first) << (inPlace ? "in place" : "into a buffer") << ", path " << (decode == paths.front() ? 0 : 1);
        }
    }
    return first;
}

std::string quotedPrintable(const std::string& line)
{
    std::vector<char> out(line.size() + 2);
    const std::vector<char> in(line.begin(), line.end());
    return std::string(out.data(), LineDecoders::quotedPrintable(in.data(), in.size(), out.data()));
}

// In place and into a buffer that holds the decoded bytes and no more, by every path.
std::string uudecode(const std::string& line)
{
    using Decode = std::size_t (*)(const char*, std::size_t, char*);
    std::vector<Decode> paths = {&LineDecoders::uudecodeScalar};
    if (LineDecoders::avx2Available())
        paths.push_back(&LineDecoders::uudecodeAvx2);
    std::vector<char> buffer(line.begin(), line.end());
    const std::size_t n = paths.front()(buffer.data(), buffer.size(), buffer.data());
    EXPECT_LE(n, line.size());
    const std::string first(buffer.data(), n);
    for (const Decode decode : paths) {
        std::vector<char> again(line.begin(), line.end());
        EXPECT_EQ(std::string(again.data(), decode(again.data(), again.size(), again.data())), first);
        auto out = std::make_unique<char[]>(std::max<std::size_t>(n, 1));
        const std::vector<char> in(line.begin(), line.end());
        EXPECT_EQ(std::string(out.get(), decode(in.data(), in.size(), out.get())), first);
    }
    return first;
}

TEST(Base64Line, DecodesGroupsAndPadding)
{
    EXPECT_EQ(base64("SGVsbG8sIHdvcmxk"), "Hello, world");
    EXPECT_EQ(base64("QQ=="), "A");
    EXPECT_EQ(base64("QUI="), "AB");
    EXPECT_EQ(base64("  QUJD"), "ABC");
    EXPECT_EQ(base64("QUJD RA=="), "ABC"); // a space ends the line's data
    EXPECT_EQ(base64(""), "");
}

TEST(Base64Line, TruncatedLastGroupIsTreatedAsPadded)
{
    EXPECT_EQ(base64("QUJDRA"), "ABCD");
    EXPECT_EQ(base64("QUJDREU"), "ABCDE");
    EXPECT_EQ(base64("QUJDR"), "ABC"); // one character makes no byte
}

TEST(Base64Line, ForeignBytesDecodeAsValue255WithoutReadingFurther)
{
    // 255 * 4 + 255 / 16 = 1035, and 1035 mod 256 = 11.
    EXPECT_EQ(base64("\xff\xff"), std::string(1, '\x0b'));
    EXPECT_EQ(base64("\x80"), "");
    EXPECT_EQ(base64(std::string("QQ\0=", 4)), "A"); // NUL ends the line's data
}

TEST(QuotedPrintableLine, EscapesSoftBreaksAndLineEnds)
{
    EXPECT_EQ(quotedPrintable("caf=E9 =3D ok"), "caf\xe9 = ok\r\n");
    EXPECT_EQ(quotedPrintable("lower =e9"), "lower \xe9\r\n");
    EXPECT_EQ(quotedPrintable("soft break="), "soft break");
    EXPECT_EQ(quotedPrintable("one char =A"), "one char A\r\n");
    EXPECT_EQ(quotedPrintable(""), "\r\n");
    // Characters other than digits count their low four bits + 9: "Z" is 10 + 9 = 19.
    EXPECT_EQ(quotedPrintable("=ZZ"), std::string(1, static_cast<char>((16 * 19 + 19) % 256)) + "\r\n");
}

TEST(UudecodeLine, DecodesCountedBytes)
{
    EXPECT_EQ(uudecode("#86)C"), "abc");
    EXPECT_EQ(uudecode("!80``"), "a");
    EXPECT_EQ(uudecode("`"), "");
    EXPECT_EQ(uudecode(""), "");
}

TEST(UudecodeLine, ShortLineReadsNothingPastItsEnd)
{
    // A stripped trailing space counts as zero.
    EXPECT_EQ(uudecode("!80"), "a");
    EXPECT_EQ(uudecode("#86)"), "ab@"); // the missing z counts 0: 9 * 64 mod 256
    // Count 45 on a line of 3 characters: no more bytes than the line holds.
    EXPECT_EQ(uudecode("M86").size(), 3u);
}

TEST(XxdecodeLine, DecodesTheSameLayoutInItsOwnAlphabet)
{
    auto xxdecode = [](const std::string& line) {
        std::vector<char> buffer(line.begin(), line.end());
        return std::string(buffer.data(), LineDecoders::xxdecode(buffer.data(), buffer.size(), buffer.data()));
    };
    EXPECT_EQ(xxdecode("1MK7X"), "abc");
    EXPECT_EQ(xxdecode("-S++"), "x");
    EXPECT_EQ(xxdecode("+"), "");
    EXPECT_EQ(xxdecode("-S"), "x");            // short line: the missing values count 0
    EXPECT_EQ(xxdecode("1M K7"), "`\x05\x89"); // a character outside the alphabet counts 0
    EXPECT_EQ(xxdecode("h1M").size(), 3u);     // count 45, three characters: no more than it holds
    EXPECT_EQ(LineDecoders::xxValue('+'), 0);
    EXPECT_EQ(LineDecoders::xxValue('z'), 63);
    EXPECT_EQ(LineDecoders::xxValue(' '), -1);
}

// The rules written out one character at a time: the decoders' short ways for plain groups
// must give exactly this on any line.
std::string base64Plainly(const std::string& line)
{
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    auto value = [&](char c) -> unsigned {
        if (c == '=')
            return 64;
        const std::size_t at = alphabet.find(c);
        return at == std::string::npos || c == '\0' ? 255 : static_cast<unsigned>(at);
    };
    const std::string text = line.substr(0, line.find('\0'));
    std::size_t i = text.find_first_not_of(' ');
    std::string out;
    while (i < text.size() && text[i] != ' ') {
        const std::size_t have = std::min<std::size_t>(4, text.size() - i);
        if (have == 1)
            break;
        const unsigned a = value(text[i]), b = value(text[i + 1]);
        const unsigned c = have > 2 ? value(text[i + 2]) : 64, d = have > 3 ? value(text[i + 3]) : 64;
        i += have;
        out += static_cast<char>(static_cast<unsigned char>(a * 4 + b / 16));
        if (c != 64)
            out += static_cast<char>(static_cast<unsigned char>(b * 16 + c / 4));
        if (d != 64)
            out += static_cast<char>(static_cast<unsigned char>(c * 64 + d));
    }
    return out;
}

std::string uudecodePlainly(const std::string& line)
{
    if (line.empty())
        return {};
    auto value = [&](std::size_t i) { return i < line.size() ? (static_cast<unsigned char>(line[i]) - 32u) & 63u : 0u; };
    const std::size_t count = std::min<std::size_t>(value(0), line.size());
    std::string out;
    for (std::size_t pos = 1; out.size() < count; pos += 4) {
        const unsigned w = value(pos), x = value(pos + 1), y = value(pos + 2), z = value(pos + 3);
        for (const unsigned byte : {w * 4 + x / 16, x * 16 + y / 4, y * 64 + z})
            if (out.size() < count)
                out += static_cast<char>(static_cast<unsigned char>(byte));
    }
    return out;
}

std::string quotedPrintablePlainly(const std::string& line)
{
    auto hex = [](unsigned char c) { return c >= '0' && c <= '9' ? c - '0' : (c & 15u) + 9u; };
    std::string out;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] != '=') {
            out += line[i++];
        } else if (i + 1 == line.size()) {
            return out; // soft break
        } else if (i + 2 == line.size()) {
            out += line[i + 1];
            i += 2;
        } else {
            out += static_cast<char>(static_cast<unsigned char>(16 * hex(line[i + 1]) + hex(line[i + 2])));
            i += 3;
        }
    }
    return out + "\r\n";
}

TEST(LineDecoders, AnyLineDecodesAsTheRulesSayCharacterByCharacter)
{
    std::mt19937 random(21);
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string odd = std::string("= -!*\x80\xff") + '\0';
    for (int round = 0; round < 20000; ++round) {
        std::string line(round % 8 == 0 ? random() % 400 : random() % 90, 'A');
        const unsigned oddShare = random() % 4 == 0 ? 0 : 1 + random() % 30; // some lines all plain
        for (char& c : line)
            c = oddShare && random() % oddShare == 0 ? odd[random() % odd.size()] : alphabet[random() % 64];
        ASSERT_EQ(base64(line), base64Plainly(line)) << line;
        ASSERT_EQ(quotedPrintable(line), quotedPrintablePlainly(line)) << line;
        if (!line.empty())
            line[0] = static_cast<char>(32 + random() % 64); // a count from 0 to 63
        ASSERT_EQ(uudecode(line), uudecodePlainly(line)) << line;
    }
}

} // namespace
} // namespace nimbra
