#include "mime/LineSplitter.h"

#include "platform/MemoryStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace nimbra {
namespace {

// The lines of text; stopAt: the line after which the handler asks the splitter to stop.
std::vector<std::string> split(const std::string& text, bool fold, std::size_t stopAt = SIZE_MAX)
{
    MemoryStream stream(text);
    bool foldLines = fold;
    bool stop = false;
    std::vector<std::string> lines;
    LineSplitter(stream, foldLines, stop).run([&](char* line, std::size_t length) {
        EXPECT_EQ(line[length], '\0');
        lines.emplace_back(line, length);
        stop = lines.size() == stopAt;
    });
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineSplitter, CutsAtLfAndDropsTheCrBeforeIt)
{
    EXPECT_EQ(split("a\r\nb\n\r\n\nc\rd\r\nlast", false), (Lines{"a", "b", "", "", "c\rd", "last"}));
    EXPECT_EQ(split("tail\r", false), (Lines{"tail"}));
    EXPECT_EQ(split("", false), Lines{});
}

TEST(LineSplitter, NothingIsReadPastTheLineAfterWhichTheHandlerStops)
{
    EXPECT_EQ(split("a\r\nb\r\nc\r\n", false, 2), (Lines{"a", "b"}));
    EXPECT_EQ(split("a\r\nlast", false, 1), (Lines{"a"}));  // not even the unfinished last line
}

TEST(LineSplitter, FoldedHeaderLineJoinsWithSpaces)
{
    EXPECT_EQ(split("Subject: a\r\n b\r\nX: 1\r\n\tc\r\n\r\n body\r\n", true),
              (Lines{"Subject: a   b", "X: 1   c", "", " body"}));
    // Outside a header nothing is joined.
    EXPECT_EQ(split("a\r\n b\r\n", false), (Lines{"a", " b"}));
}

TEST(LineSplitter, FoldingLooksAheadAcrossBufferRefills)
{
    // Put each LF at the very end of what one read brings in, so the look-ahead byte has to
    // come from the stream.
    for (std::size_t first = LineSplitter::InitialSize - 18; first < LineSplitter::InitialSize + 2; ++first) {
        const std::string line(first, 'x');
        EXPECT_EQ(split(line + "\n y\n", true), (Lines{line + "  y"})) << first;
        EXPECT_EQ(split(line + "\nz\n", true), (Lines{line, "z"})) << first;
    }
}

TEST(LineSplitter, LinesOfAnyLengthComeOutWhole)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int> length(0, 5000);
    Lines expected;
    std::string text;
    for (int i = 0; i < 300; ++i) {
        expected.emplace_back(static_cast<std::size_t>(length(random)), static_cast<char>('a' + i % 26));
        text += expected.back() + (i % 2 ? "\r\n" : "\n");
    }
    expected.emplace_back(3'000'000, 'q'); // one long line must not cost quadratic time
    text += expected.back() + "\n";
    EXPECT_EQ(split(text, false), expected);
}

} // namespace
} // namespace nimbra
