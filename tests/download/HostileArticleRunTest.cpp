// Articles a hostile server never finishes, or finishes too large, and groups whose numbers
// hold nothing: whichever walk is used, the run skips what it must, goes on with the next
// article and ends.
#include "tests/download/SessionRun.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

ModelArticle small(std::int64_t number, const std::string& id, int lines = 20)
{
    return NewsServerModel::article(number, id, "picture " + id + " (01/01)", lines);
}

class BothWalks : public ::testing::TestWithParam<bool> {
protected:
    BothWalks() { run.view.fastScan = GetParam(); }
    SessionRun run;
    LogCapture log;
};

TEST_P(BothWalks, AnArticleThatNeverEndsIsSkippedAtTheMaximumAndTheWalkGoesOn)
{
    run.model.addGroup("alt.endless", {small(1, "e1"), small(2, "e2", 10), small(3, "e3")});
    run.model.endlessArticle(2);
    run.view.groups = {{"alt.endless", true}};
    run.view.maximum = "10";  // 10 * 23 lines of 160 bytes and 64 KiB of header
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"e1", "e3"}));
    EXPECT_TRUE(log.has("article 2 of alt.endless skipped: larger than 102336 bytes"));
    EXPECT_EQ(run.server->connections(), 2);  // the endless rest closed the first one
    EXPECT_EQ(run.view.panels[0], "Processing is over");
}

TEST_P(BothWalks, ADrippingArticleIsGivenUpAtItsDeadlineAndTheRunMovesOn)
{
    run.model.addGroup("alt.drip", {small(1, "d1"), small(2, "d2", 30), small(3, "d3")});
    run.model.dripArticle(2, 50);  // a line every 50 ms keeps a 500 ms watchdog content
    run.view.groups = {{"alt.drip", true}};
    run.shortWatchdog();
    run.start();
    ASSERT_TRUE(run.waitForEnd(20000));
    EXPECT_EQ(run.sink.ids, (Strings{"d1", "d3"}));
    // 5 s of watchdog and 30 lines of 160 bytes at 2 KB/s; looked at twice, then passed.
    EXPECT_EQ(log.count("given up: the article was not whole within its 8 s"), 2);
    EXPECT_EQ(log.count("given up: no reply within the time-out"), 0);
}

INSTANTIATE_TEST_SUITE_P(HostileArticleRun, BothWalks, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Overview" : "ArticleByArticle"; });

TEST(HostileArticleRun, AnArticleThatEndsPastTheMaximumIsSkippedOnTheSameConnection)
{
    SessionRun run;
    ModelArticle big = small(2, "big", 6000);
    std::replace(big.headers.begin(), big.headers.end(), std::string("Lines: 6000"), std::string("Lines: 10"));
    run.model.addGroup("alt.liar", {small(1, "l1"), big, small(3, "l3")});
    run.view.groups = {{"alt.liar", true}};
    run.view.maximum = "1";  // 69,216 bytes; the article is about 110 KB
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"l1", "l3"}));
    EXPECT_EQ(run.server->connections(), 1);
    EXPECT_EQ(run.commands().at(7), "NEXT");  // after ARTICLE 2, the walk moved on
}

TEST(HostileArticleRun, AGroupOfTwoBillionEmptyNumbersEndsAfterAFewRangeQueries)
{
    SessionRun run;
    run.model.addGroup("alt.void", {});
    run.model.setRange("alt.void", 1, 2000000000);
    run.model.setEstimate("alt.void", 2000000000);
    run.model.addGroup("alt.after", {small(1, "a1")});
    run.view.groups = {{"alt.void", true}, {"alt.after", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1"}));
    const Strings commands = run.commands();
    const long queries = std::count_if(commands.begin(), commands.end(),
                                       [](const std::string& c) { return c.rfind("XHDR Message-ID ", 0) == 0; });
    EXPECT_EQ(commands.at(1), "STAT 1");
    EXPECT_EQ(commands.at(2), "XHDR Message-ID 2-1001");
    EXPECT_EQ(commands.at(3), "XHDR Message-ID 1002-3001");
    EXPECT_LE(queries, 22);  // 1000 numbers, doubled each time, reach two billion in 21
    EXPECT_EQ(commands.at(2 + queries), "GROUP alt.after");
}

TEST(HostileArticleRun, TheFirstArticleFarBehindAGapIsFoundAndWalkedFrom)
{
    SessionRun run;
    run.model.addGroup("alt.gap", {small(700000, "g1"), small(700001, "g2")});
    run.model.setRange("alt.gap", 1, 700001);
    run.view.groups = {{"alt.gap", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"g1", "g2"}));
    const Strings commands = run.commands();
    const auto stat = std::find(commands.begin(), commands.end(), "STAT 700000");
    ASSERT_NE(stat, commands.end());
    EXPECT_LE(stat - commands.begin(), 12);  // GROUP, STAT 1 and ten doubling ranges at most
}

TEST(HostileArticleRun, AServerThatListsNoRangesIsProbedANumberAtATimeWithinABound)
{
    SessionRun run;
    run.model.setHeaderRanges(false);
    run.model.addGroup("alt.near", {small(50, "n50")});
    run.model.setRange("alt.near", 1, 1000000);
    run.model.addGroup("alt.far", {small(900000, "f900000")});
    run.model.setRange("alt.far", 1, 1000000);
    run.view.groups = {{"alt.near", true}, {"alt.far", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"n50"}));  // the far one lies past the bound
    const Strings commands = run.commands();
    const auto far = std::find(commands.begin(), commands.end(), "GROUP alt.far");
    ASSERT_NE(far, commands.end());
    const long stats = std::count_if(far, commands.end(), [](const std::string& c) { return c.rfind("STAT ", 0) == 0; });
    EXPECT_EQ(stats, 1 + ArticleWalk::ProbeLimit);  // STAT 1, then the probes
    EXPECT_EQ(commands.back(), "QUIT");
}

// Keeps the first article's file from being saved, as a full disk would.
class FailingFirstSave : public ArticleSink {
public:
    explicit FailingFirstSave(DownloadSession& session) : session_(session) {}
    void articleDone(const Article&) override
    {
        if (articles_++ == 0)
            session_.saveFailed("cannot write picture.jpg: No space left on device", false);
    }

private:
    DownloadSession& session_;
    int articles_ = 0;
};

TEST(HostileArticleRun, AFileThatCouldNotBeSavedIsShownInTheStatusBarUntilTheRunEnds)
{
    SessionRun run;
    FailingFirstSave sink(run.session);
    run.session.setArticleSink(&sink);
    run.model.addGroup("alt.full", {small(1, "f1"), small(2, "f2")});
    run.view.groups = {{"alt.full", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    const std::string reason = "cannot write picture.jpg: No space left on device";
    const Strings& shown = run.view.panelHistory[0];
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Not saved: " + reason), shown.end());
    EXPECT_EQ(run.view.panels[0], "Processing is over: " + reason);
    EXPECT_EQ(run.outcome.reason(), reason);
    EXPECT_EQ(run.server->received().back(), "QUIT");  // the run went on to its end

    // The next run starts clean.
    run.session.bitbtn1Click();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_FALSE(run.outcome.failed());
    EXPECT_EQ(run.view.panels[0], "Processing is over");
}

} // namespace
} // namespace nimbra::test
