// The receiving side's line cutting and size limits, fed bytes directly.
#include "net/NntpBlockReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbra {
namespace {

// Feeds the bytes in pieces of the given size and collects what the reader reports:
// "line <text>" or the name of another outcome.
std::vector<std::string> feed(NntpBlockReader& reader, const std::string& bytes, std::size_t piece)
{
    static const char* const names[] = {"none", "line", "skipped", "overrun", "too long"};
    std::vector<std::string> out;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        reader.append(bytes.data() + at, std::min(piece, bytes.size() - at));
        for (;;) {
            std::string_view line;
            const NntpBlockReader::Result result = reader.next(line);
            if (result == NntpBlockReader::None)
                break;
            out.push_back(result == NntpBlockReader::Line ? "line " + std::string(line) : names[result]);
            if (result == NntpBlockReader::SkipOverrun || result == NntpBlockReader::LineTooLong)
                return out;  // the connection is closed there
            if (result == NntpBlockReader::BlockSkipped)
                reader.endBlock();
        }
    }
    return out;
}

TEST(NntpBlockReader, LinesAreCutWhateverThePiecesAndCrAloneIsNoLineEnd)
{
    const std::string bytes = std::string("one\r\ntwo\rstill two\r\n\r\n") + '\0' + "nul\r\n";
    for (std::size_t piece : {1u, 2u, 3u, 1000u}) {
        NntpBlockReader reader;
        EXPECT_EQ(feed(reader, bytes, piece),
                  (std::vector<std::string>{"line one", "line two\rstill two", "line ", "line " + std::string(1, '\0') + "nul"}))
            << piece;
    }
}

TEST(NntpBlockReader, BoundedBlockPastItsLimitIsSkippedToItsEnd)
{
    NntpBlockReader reader;
    reader.setLimits(30, 10, 100);
    reader.startBlock(true, true);
    // The header takes 10 of its 10 (the empty line included), "body 6789" 11 more; the second
    // one passes the 30.
    const std::string bytes = "H: 123\r\n\r\nbody 6789\r\nbody 6789\r\n..dots\r\n.\r\nnext\r\n";
    for (std::size_t piece : {1u, 7u, 1000u}) {
        NntpBlockReader r = reader;
        EXPECT_EQ(feed(r, bytes, piece), (std::vector<std::string>{"line H: 123", "line ", "line body 6789", "skipped",
                                                                   "line next"}))
            << piece;
    }
    NntpBlockReader header = reader;
    EXPECT_EQ(feed(header, "H: 123456\r\n.\r\n", 1000), (std::vector<std::string>{"skipped"}));
    NntpBlockReader body;
    body.setLimits(20, 10, 100);
    body.startBlock(true, false);  // a BODY has no header to bound
    EXPECT_EQ(feed(body, "12345678901234\r\n.\r\n", 1000), (std::vector<std::string>{"line 12345678901234", "line ."}));
}

TEST(NntpBlockReader, SkippedRestIsBoundedAndAnEndlessLineDoesNotPileUp)
{
    NntpBlockReader reader;
    reader.setLimits(1000, 1000, 100);
    reader.startBlock(true, false);
    // One line that never ends: past the limit it is dropped as it comes, then the overrun.
    std::string endless(600 * 1024, 'x');
    const std::vector<std::string> out = feed(reader, endless, 4096);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), "overrun");
    EXPECT_EQ(out.size(), 1u);

    // A "." that only ends a dropped line's tail is no terminator.
    NntpBlockReader tail;
    tail.setLimits(10, 10, 100);
    tail.startBlock(false, false);
    EXPECT_EQ(feed(tail, std::string(70 * 1024, 'y') + ".\r\n.\r\nafter\r\n", 70 * 1024),
              (std::vector<std::string>{"skipped", "line after"}));
}

TEST(NntpBlockReader, StatusLinePastItsLimitCannotBeReadOn)
{
    NntpBlockReader reader;
    reader.setLimits(1000, 1000, 11);
    EXPECT_EQ(feed(reader, "200 ready\r\n", 1000), (std::vector<std::string>{"line 200 ready"}));
    EXPECT_EQ(feed(reader, "211 123456789", 1000), (std::vector<std::string>{"too long"}));
}

} // namespace
} // namespace nimbra
