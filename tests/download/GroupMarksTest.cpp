// The per-group marks file and the progress that moves a mark: what survives a restart, what
// a damaged file or a renumbered group leads to, and that a mark never passes an article the
// walk did not finish.
#include "download/ArticleSink.h"
#include "download/GroupMarks.h"
#include "download/GroupProgress.h"
#include "platform/AtomicFile.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <limits>

#include <unistd.h>

namespace nimbra::test {
namespace {

std::string freshPath(const std::string& name)
{
    return TestEnvironment::makeFolder(name) + "group-marks";
}

template <std::size_t N> std::string withNul(const char (&text)[N])
{
    return std::string(text, N - 1);
}

TEST(GroupMarks, MarksSurviveARestartPerServerAndGroup)
{
    const std::string path = freshPath("marks-restart");
    {
        GroupMarks marks(path);
        EXPECT_EQ(marks.mark("news.a:119", "alt.one"), 0);
        marks.setMark("news.a:119", "alt.one", 120);
        marks.setMark("news.a:119", "alt.two", 7);
        marks.setMark("news.b:563", "alt.one", 9000000000LL);  // past 32 bits
        ASSERT_TRUE(marks.save());
    }
    GroupMarks again(path);
    EXPECT_FALSE(again.damagedOnLoad());
    EXPECT_EQ(again.size(), 3u);
    EXPECT_EQ(again.mark("news.a:119", "alt.one"), 120);
    EXPECT_EQ(again.mark("news.a:119", "alt.two"), 7);
    EXPECT_EQ(again.mark("news.b:563", "alt.one"), 9000000000LL);
    EXPECT_EQ(again.mark("news.b:563", "alt.two"), 0);

    again.clear("news.a:119", "alt.one");
    EXPECT_EQ(GroupMarks(path).mark("news.a:119", "alt.one"), 0);
    EXPECT_EQ(GroupMarks(path).mark("news.a:119", "alt.two"), 7);
}

TEST(GroupMarks, ServerKeyIgnoresTheHostsCase)
{
    EXPECT_EQ(GroupMarks::serverKey("News.Example.ORG", "119"), "news.example.org:119");
    EXPECT_NE(GroupMarks::serverKey("news", "119"), GroupMarks::serverKey("news", "563"));
}

TEST(GroupMarks, NamesThatWouldBreakALineGetNoMark)
{
    const std::string path = freshPath("marks-names");
    GroupMarks marks(path);
    marks.setMark("news:119", "alt.bad\r\nnews:119 alt.one 999", 5);
    marks.setMark("news:119", "alt two", 5);
    marks.setMark("", "alt.one", 5);
    marks.setMark("news:119", "alt.one", 3);
    ASSERT_TRUE(marks.save());
    GroupMarks again(path);
    EXPECT_FALSE(again.damagedOnLoad());
    EXPECT_EQ(again.size(), 1u);
    EXPECT_EQ(again.mark("news:119", "alt.one"), 3);
}

TEST(GroupMarks, DamagedFileIsSetAsideAndNoMarkOfItIsTrusted)
{
    const std::vector<std::string> damaged = {
        "",                                                   // empty
        "something else\r\nnews:119 alt.one 5\r\n",           // not a marks file
        "nimbra group marks 1\r\nnews:119 alt.one 5\r\nnews:119 alt.two x7\r\n",
        "nimbra group marks 1\r\nnews:119 alt.one -5\r\n",
        "nimbra group marks 1\r\nnews:119 alt.one 0\r\n",
        "nimbra group marks 1\r\nnews:119 alt.one 1234567890123456789012\r\n",
        "nimbra group marks 1\r\nnews:119 alt.one\r\n",
        "nimbra group marks 1\r\nnews:119 alt.one 5 6\r\n",
        "nimbra group marks 1\r\nnews:119 alt.one 5\r\nnews:119 alt.one 9\r\n",
        withNul("nimbra group marks 1\r\nnews:119 alt.o\0ne 5\r\n"),
    };
    int index = 0;
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(index);
        const std::string path = freshPath("marks-damaged-" + std::to_string(index++));
        ASSERT_TRUE(AtomicFile::write(path, bytes));
        GroupMarks marks(path);
        EXPECT_TRUE(marks.damagedOnLoad());
        EXPECT_EQ(marks.size(), 0u);
        EXPECT_EQ(marks.mark("news:119", "alt.one"), 0);
        std::string aside;
        EXPECT_TRUE(AtomicFile::read(path + ".damaged", aside));
        EXPECT_EQ(aside, bytes);
        EXPECT_NE(::access(path.c_str(), F_OK), 0);

        // The next save starts a sound file.
        marks.setMark("news:119", "alt.one", 4);
        ASSERT_TRUE(marks.save());
        GroupMarks again(path);
        EXPECT_FALSE(again.damagedOnLoad());
        EXPECT_EQ(again.mark("news:119", "alt.one"), 4);
    }
}

TEST(GroupMarks, UnwritableFileKeepsTheMarksForTheNextSave)
{
    const std::string folder = TestEnvironment::makeFolder("marks-unwritable");
    GroupMarks marks(folder + "missing/group-marks");
    marks.setMark("news:119", "alt.one", 10);
    EXPECT_FALSE(marks.save());
    EXPECT_EQ(marks.mark("news:119", "alt.one"), 10);
}

TEST(GroupProgress, StartsAboveTheMarkAndMovesOnlyPastDoneArticles)
{
    GroupMarks marks(freshPath("progress-moves"));
    marks.setMark("s", "g", 10);
    GroupProgress progress;
    progress.setMarks(&marks);
    progress.setServer("s");

    EXPECT_EQ(progress.begin("g", 1, 20), 11);
    progress.done(11);
    progress.done(13);  // 12 was a hole
    EXPECT_EQ(marks.mark("s", "g"), 13);
    progress.givenUp();  // 14 was walked past unfinished
    progress.done(15);
    progress.finished();
    EXPECT_EQ(marks.mark("s", "g"), 13);

    // The next run looks at 14 again and, with nothing given up, ends at the group's last.
    EXPECT_EQ(progress.begin("g", 1, 20), 14);
    progress.done(14);
    progress.finished();
    EXPECT_EQ(marks.mark("s", "g"), 20);
}

TEST(GroupProgress, TheSinkIsFlushedBeforeAnyMarkIsWritten)
{
    // What the sink keeps of unfinished files must be on disk before a mark says done.
    struct Sink : ArticleSink {
        void articleDone(const Article&) override {}
        void flush() override { marksOnDisk.push_back(GroupMarks(path).mark("s", "g")); }
        std::string path;
        std::vector<std::int64_t> marksOnDisk;
    } sink;
    sink.path = freshPath("progress-flush");
    GroupMarks marks(sink.path);
    GroupProgress progress;
    progress.setMarks(&marks);
    progress.setServer("s");
    progress.setArticleSink(&sink);
    progress.begin("g", 1, 20);
    progress.done(5);
    progress.save();  // an interruption
    progress.done(9);
    progress.finished();
    EXPECT_EQ(sink.marksOnDisk, (std::vector<std::int64_t>{0, 5}));
    EXPECT_EQ(GroupMarks(sink.path).mark("s", "g"), 20);
}

TEST(GroupProgress, GroupStartsFromItsFirstWhenTheMarkIsBelowItOrBeyondItsLast)
{
    GroupMarks marks(freshPath("progress-edges"));
    GroupProgress progress;
    progress.setMarks(&marks);
    progress.setServer("s");

    marks.setMark("s", "expired", 5);
    EXPECT_EQ(progress.begin("expired", 100, 200), 100);  // articles up to 99 expired

    marks.setMark("s", "current", 200);
    EXPECT_EQ(progress.begin("current", 100, 200), std::nullopt);  // nothing new

    // The largest article number a server may give: nothing comes after it, and no number
    // past it is made up.
    const std::int64_t top = std::numeric_limits<std::int64_t>::max();
    marks.setMark("s", "top", top);
    EXPECT_EQ(progress.begin("top", 1, top), std::nullopt);
    marks.setMark("s", "top", top - 1);
    EXPECT_EQ(progress.begin("top", 1, top), top);

    marks.setMark("s", "renumbered", 5000);
    EXPECT_EQ(progress.begin("renumbered", 1, 300), 1);
    EXPECT_EQ(marks.mark("s", "renumbered"), 0);
    progress.done(1);
    EXPECT_EQ(marks.mark("s", "renumbered"), 1);
}

TEST(GroupProgress, WithoutAStoreEveryGroupStartsAtItsFirst)
{
    GroupProgress progress;
    progress.setServer("s");
    EXPECT_EQ(progress.begin("g", 7, 9), 7);
    progress.done(8);
    progress.finished();
    EXPECT_EQ(progress.mark(), 0);
}

} // namespace
} // namespace nimbra::test
