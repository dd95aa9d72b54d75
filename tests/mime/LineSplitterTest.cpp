#include "mime/LineSplitter.h"

#include "platform/MemoryStream.h"
#include "tests/mime/DecoderHarness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
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


// Every line, whether handed to the handler or taken in a run after a line "take"; a run's
// lines are marked. Checks that a run from memory stops only at a "=y" line or the last line end.
template <typename S>
Lines splitTaking(const std::string& text)
{
    S stream(text);
    bool foldLines = false;
    bool stop = false;
    Lines lines;
    bool afterRun = false;
    LineSplitter splitter(stream, foldLines, stop);
    splitter.run([&](char* line, std::size_t length) {
        const std::string_view current(line, length);
        if (afterRun && stream.memory()) {
            EXPECT_TRUE(current.substr(0, 2) == "=y" || text.substr(text.size() - length) == current) << current;
        }
        afterRun = false;
        lines.emplace_back(current);
        if (current != "take")
            return;
        std::string_view run = splitter.takeLinesUntil('=', 'y');
        EXPECT_EQ(current, "take"); // the current line stays valid
        afterRun = true;
        while (!run.empty()) {
            const std::size_t lf = run.find('\n');
            EXPECT_NE(lf, std::string_view::npos);
            std::string_view taken = run.substr(0, lf);
            if (!taken.empty() && taken.back() == '\r')
                taken.remove_suffix(1);
            EXPECT_NE(taken.substr(0, 2), "=y");
            lines.push_back("taken " + std::string(taken));
            run.remove_prefix(lf + 1);
        }
    });
    return lines;
}

TEST(LineSplitter, LinesTakenInARunAreTheLinesTheHandlerWouldHaveSeen)
{
    std::mt19937 random(11);
    const char* const lineStarts[] = {"=y", "=", "y", "", "\r", "=ybegin"};
    for (const bool lastLf : {true, false}) {
        std::string text;
        Lines expected;
        bool taking = false;
        for (int i = 0; i < 6000; ++i) {
            std::string line = random() % 9 == 0 ? "take" : lineStarts[random() % 6] + std::string(random() % 160, 'x');
            const bool crlf = random() % 2;
            text += line + (crlf ? "\r\n" : "\n");
            if (line == "\r" && !crlf)
                line.clear(); // a CR before the LF is cut off
            if (line.substr(0, 2) == "=y")
                taking = false;
            expected.push_back(taking ? "taken " + line : line);
            if (line == "take")
                taking = true;
        }
        if (!lastLf) {
            text += "=yend last";
            expected.push_back("=yend last");
        }
        // From memory a run reaches the next "=y" line; read through copies it may stop
        // earlier, where a read ends, and the lines after it come to the handler instead.
        const Lines fromMemory = splitTaking<MemoryStream>(text);
        ASSERT_EQ(fromMemory.size(), expected.size());
        for (std::size_t k = 0; k < fromMemory.size(); ++k)
            ASSERT_EQ(fromMemory[k], expected[k]) << k;
        Lines copied = splitTaking<test::CopyingStream>(text);
        ASSERT_EQ(copied.size(), expected.size());
        for (std::size_t k = 0; k < copied.size(); ++k) {
            const std::string plain = expected[k].rfind("taken ", 0) == 0 ? expected[k].substr(6) : expected[k];
            EXPECT_TRUE(copied[k] == expected[k] || copied[k] == plain) << k << " [" << copied[k] << "] [" << expected[k] << "]";
        }
    }
}

} // namespace
} // namespace nimbra
