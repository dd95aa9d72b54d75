#include "mime/LineDecoders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbra {
namespace {

// Decodes a copy held in a buffer exactly as long as the line plus its NUL slot, so that
// AddressSanitizer sees any read or write past the line.
std::string base64(const std::string& line)
{
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    const std::size_t n = LineDecoders::base64(buffer.data(), line.size());
    EXPECT_LE(n, line.size());
    EXPECT_EQ(buffer[n], '\0');
    return std::string(buffer.data(), n);
}

std::string quotedPrintable(const std::string& line)
{
    std::vector<char> out(line.size() + 2);
    const std::vector<char> in(line.begin(), line.end());
    return std::string(out.data(), LineDecoders::quotedPrintable(in.data(), in.size(), out.data()));
}

std::string uudecode(const std::string& line)
{
    std::vector<char> buffer(line.begin(), line.end());
    const std::size_t n = LineDecoders::uudecode(buffer.data(), buffer.size(), buffer.data());
    EXPECT_LE(n, line.size());
    return std::string(buffer.data(), n);
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

} // namespace
} // namespace nimbra
