#include "mime/YencLineDecoder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace nimbra {
namespace {

using Path = YencLineDecoder::Path;

std::size_t run(Path path, const char* in, std::size_t n, char* out, bool& escaped)
{
    switch (path) {
    case Path::Avx512: return YencLineDecoder::decodeAvx512(in, n, out, escaped);
    case Path::Avx2: return YencLineDecoder::decodeAvx2(in, n, out, escaped);
    case Path::Ssse3: return YencLineDecoder::decodeSsse3(in, n, out, escaped);
    default: return YencLineDecoder::decodeScalar(in, n, out, escaped);
    }
}

std::string decoded(Path path, const std::string& line, bool& escaped)
{
    std::string out(line.size() + YencLineDecoder::Slack, '\0');
    out.resize(run(path, line.data(), line.size(), out.data(), escaped));
    return out;
}

// Two spans that end exactly at an inaccessible page, so a read past the input or a write
// past the output's room faults at once.
class GuardedSpans {
public:
    GuardedSpans()
    {
        page_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        base_ = static_cast<char*>(::mmap(nullptr, 4 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        ::mprotect(base_ + page_, page_, PROT_NONE);
        ::mprotect(base_ + 3 * page_, page_, PROT_NONE);
    }
    ~GuardedSpans() { ::munmap(base_, 4 * page_); }
    char* input(const std::string& bytes)
    {
        char* at = base_ + page_ - bytes.size();
        std::memcpy(at, bytes.data(), bytes.size());
        return at;
    }
    char* output(std::size_t room) { return base_ + 3 * page_ - room; }

private:
    std::size_t page_ = 0;
    char* base_ = nullptr;
};

class YencLinePaths : public ::testing::TestWithParam<Path> {
protected:
    void SetUp() override
    {
        if (!YencLineDecoder::available(GetParam()))
            GTEST_SKIP() << YencLineDecoder::name(GetParam()) << " not available on this processor";
    }
};

TEST_P(YencLinePaths, PlainAndEscapedCharactersLoseTheirOffsets)
{
    bool escaped = false;
    // "k" - 42 = "A"; "=" "}" is the escaped "=" (0x3D + 64 = 0x7D), the byte 0x13.
    EXPECT_EQ(decoded(GetParam(), "kkk=}k", escaped), std::string("AAA\x13" "A"));
    EXPECT_FALSE(escaped);
    // The offsets wrap modulo 256: "*" (42) gives 0, "=@" gives 0xD6.
    EXPECT_EQ(decoded(GetParam(), "*=@", escaped), std::string("\x00\xD6", 2));
}

TEST_P(YencLinePaths, CrAndLfAreIgnoredEvenInsideAnEscape)
{
    bool escaped = false;
    const std::string line = std::string(20, 'k') + "\r\n" + std::string(20, 'k') + "=\r}" + "k\r";
    EXPECT_EQ(decoded(GetParam(), line, escaped), std::string(40, 'A') + "\x13" "A");
    EXPECT_FALSE(escaped);
}

TEST_P(YencLinePaths, EscapeAtTheEndIsCarriedToTheNextCall)
{
    bool escaped = false;
    EXPECT_EQ(decoded(GetParam(), std::string(31, 'k') + "=", escaped), std::string(31, 'A'));
    EXPECT_TRUE(escaped);
    EXPECT_EQ(decoded(GetParam(), "}" + std::string(40, 'k'), escaped), "\x13" + std::string(40, 'A'));
    EXPECT_FALSE(escaped);
}

TEST_P(YencLinePaths, EscapedEqualsSignsInARunPairUp)
{
    bool escaped = false;
    // "==" is an escape of "=": the byte 0x3D - 106 = 0xD3; runs of them pair from the left.
    const std::string line = std::string(15, 'k') + "====" + std::string(15, 'k');
    EXPECT_EQ(decoded(GetParam(), line, escaped), std::string(15, 'A') + "\xD3\xD3" + std::string(15, 'A'));
    EXPECT_FALSE(escaped);
}

TEST_P(YencLinePaths, AgreesWithTheScalarPathOnDenseAndSparseSpecialCharacters)
{
    std::mt19937 random(11);
    const char specials[] = "=\r\n=}==\r=";
    for (int round = 0; round < 30000; ++round) {
        // A third of the bytes special, or one in forty, where most wide blocks go the fast way.
        const unsigned density = round % 2 == 0 ? 3 : 40;
        std::string line(random() % 300, '\0');
        for (char& c : line)
            c = random() % density == 0 ? specials[random() % 9] : static_cast<char>(random());
        bool expectedEscape = random() % 2 == 0;
        bool escape = expectedEscape;
        const std::string expected = decoded(Path::Scalar, line, expectedEscape);
        ASSERT_EQ(decoded(GetParam(), line, escape), expected) << "round " << round;
        ASSERT_EQ(escape, expectedEscape) << "round " << round;
    }
}

TEST_P(YencLinePaths, StaysWithinTheInputAndTheOutputRoom)
{
    GuardedSpans spans;
    for (std::size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 63u, 64u, 65u, 100u, 129u, 255u}) {
        std::string line(length, 'k');
        if (length > 0)
            line.back() = '=';
        const char* in = spans.input(line);
        char* out = spans.output(length + YencLineDecoder::Slack);
        bool escaped = false;
        const std::size_t n = run(GetParam(), in, length, out, escaped);
        EXPECT_EQ(n, length == 0 ? 0 : length - 1);
        EXPECT_EQ(escaped, length > 0);
    }
}

INSTANTIATE_TEST_SUITE_P(All, YencLinePaths, ::testing::Values(Path::Scalar, Path::Ssse3, Path::Avx2, Path::Avx512),
                         [](const auto& info) { return std::string(YencLineDecoder::name(info.param)); });

} // namespace
} // namespace nimbra
