// Whole runs with per-group marks: a second run asks the server for nothing it walked before,
// also for a group larger than the message-id cache; a renumbered group and a damaged marks
// file are scanned from the group's first article.
#include "download/GroupMarks.h"
#include "platform/AtomicFile.h"
#include "tests/download/SessionRun.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <limits>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

std::vector<ModelArticle> articles(int first, int last, const std::string& prefix)
{
    std::vector<ModelArticle> list;
    for (int number = first; number <= last; ++number) {
        const std::string id = prefix + std::to_string(number);
        list.push_back(NewsServerModel::article(number, id, "picture " + id + " (1/1)", 30));
    }
    return list;
}

std::string keyOf(const SessionRun& run)
{
    return GroupMarks::serverKey(run.view.host, run.view.port);
}

// Runs a group once with the marks, and returns the run for its commands and saved ids.
// Each model server listens on a port of its own; the mark a previous run left for the same
// server is carried over to the new port first.
std::unique_ptr<SessionRun> harvest(GroupMarks& marks, const std::string& group, std::vector<ModelArticle> list,
                                    SessionRun* previous = nullptr, const std::string& cacheSize = "5000")
{
    auto run = std::make_unique<SessionRun>();
    run->model.addGroup(group, std::move(list));
    run->view.groups = {{group, true}};
    run->view.articleCache = cacheSize;
    run->session.setGroupMarks(&marks);
    if (previous)
        run->session.messageIdCache().assign(previous->session.messageIdCache().entries());
    run->server = run->model.start();
    run->view.port = run->server->portText();
    if (previous)
        marks.setMark(keyOf(*run), group, marks.mark(keyOf(*previous), group));
    run->session.bitbtn1Click();
    EXPECT_TRUE(run->waitForEnd());
    return run;
}

TEST(MarkedRun, SecondRunAsksOnlyForArticlesAboveTheMark)
{
    GroupMarks marks(TestEnvironment::makeFolder("marked-second") + "group-marks");
    auto first = harvest(marks, "alt.pics", articles(1, 3, "p"));
    EXPECT_EQ(first->sink.ids, (Strings{"p1", "p2", "p3"}));
    EXPECT_EQ(marks.mark(keyOf(*first), "alt.pics"), 3);

    auto same = harvest(marks, "alt.pics", articles(1, 3, "p"), first.get());
    EXPECT_EQ(same->commands(), (Strings{"GROUP alt.pics", "QUIT"}));
    EXPECT_TRUE(same->sink.ids.empty());

    auto grown = harvest(marks, "alt.pics", articles(1, 5, "p"), same.get());
    EXPECT_EQ(grown->commands(), (Strings{
        "GROUP alt.pics", "STAT 4", "XHDR lines 4", "ARTICLE 4", "NEXT", "XHDR lines 5", "ARTICLE 5", "QUIT"}));
    EXPECT_EQ(grown->sink.ids, (Strings{"p4", "p5"}));
    EXPECT_EQ(marks.mark(keyOf(*grown), "alt.pics"), 5);
    // Kept on disk, not only in memory.
    EXPECT_EQ(GroupMarks(TestEnvironment::root() + "marked-second/group-marks").mark(keyOf(*grown), "alt.pics"), 5);
}

TEST(MarkedRun, GroupLargerThanTheMessageIdCacheIsNotFetchedAgain)
{
    GroupMarks marks(TestEnvironment::makeFolder("marked-large") + "group-marks");
    auto first = harvest(marks, "alt.big", articles(1, 40, "b"), nullptr, "10");
    EXPECT_EQ(first->sink.ids.size(), 40u);
    EXPECT_EQ(first->session.messageIdCache().size(), 10u);  // the cache forgot most of them

    auto second = harvest(marks, "alt.big", articles(1, 40, "b"), first.get(), "10");
    EXPECT_TRUE(second->sink.ids.empty());
    EXPECT_EQ(second->commands(), (Strings{"GROUP alt.big", "QUIT"}));
}

TEST(MarkedRun, RenumberedGroupIsScannedFromItsFirstArticle)
{
    GroupMarks marks(TestEnvironment::makeFolder("marked-renumbered") + "group-marks");
    auto first = harvest(marks, "alt.moved", articles(101, 103, "old"));
    EXPECT_EQ(marks.mark(keyOf(*first), "alt.moved"), 103);

    // The server started the group again from 1 with new articles: its last is below the mark.
    auto second = harvest(marks, "alt.moved", articles(1, 2, "new"), first.get());
    EXPECT_EQ(second->commands(), (Strings{
        "GROUP alt.moved", "STAT 1", "XHDR lines 1", "ARTICLE 1", "NEXT", "XHDR lines 2", "ARTICLE 2", "QUIT"}));
    EXPECT_EQ(second->sink.ids, (Strings{"new1", "new2"}));
    EXPECT_EQ(marks.mark(keyOf(*second), "alt.moved"), 2);
}

TEST(MarkedRun, DamagedMarksFileScansFromTheFirstAndIsWrittenAfresh)
{
    const std::string path = TestEnvironment::makeFolder("marked-damaged") + "group-marks";
    ASSERT_TRUE(AtomicFile::write(path, "nimbra group marks 1\r\n127.0.0.1:1 alt.d 9\xff\x00garbage"));
    GroupMarks marks(path);
    ASSERT_TRUE(marks.damagedOnLoad());
    auto run = harvest(marks, "alt.d", articles(1, 2, "d"));
    EXPECT_EQ(run->sink.ids, (Strings{"d1", "d2"}));
    EXPECT_EQ(run->commands().at(1), "STAT 1");
    GroupMarks reloaded(path);
    EXPECT_FALSE(reloaded.damagedOnLoad());
    EXPECT_EQ(reloaded.mark(keyOf(*run), "alt.d"), 2);
}

class MarkedRunBothWalks : public ::testing::TestWithParam<bool> {};

TEST_P(MarkedRunBothWalks, ArticlesUpToTheLargestNumberAreWalkedOnceAndTheNextRunAsksForNone)
{
    // 2^63-1 is the largest article number a server may give: one past it does not exist, and
    // a block or a mark counted past it must not wrap to a negative number.
    const std::int64_t top = std::numeric_limits<std::int64_t>::max();
    std::vector<ModelArticle> list;
    for (const std::int64_t below : {4, 2, 0})
        list.push_back(NewsServerModel::article(top - below, "t" + std::to_string(below), "picture (1/1)", 30));
    GroupMarks marks(TestEnvironment::makeFolder(GetParam() ? "marked-top-fast" : "marked-top-classic") + "group-marks");
    for (int pass = 0; pass < 2; ++pass) {
        SessionRun run;
        run.view.fastScan = GetParam();
        run.view.connections = "3";
        run.view.pipeline = "2";
        run.model.addGroup("alt.top", list);
        run.view.groups = {{"alt.top", true}};
        run.session.setGroupMarks(&marks);
        run.server = run.model.start();
        run.view.port = run.server->portText();
        if (pass == 1)
            marks.setMark(keyOf(run), "alt.top", top);
        run.session.bitbtn1Click();
        ASSERT_TRUE(run.waitForEnd());
        EXPECT_EQ(run.session.watchdogExpiries(), 0) << pass;
        EXPECT_EQ(run.view.panels[0], "Processing is over") << pass;
        EXPECT_EQ(marks.mark(keyOf(run), "alt.top"), top) << pass;
        if (pass == 0) {
            EXPECT_EQ(run.sink.ids, (Strings{"t4", "t2", "t0"}));
        } else {
            EXPECT_TRUE(run.sink.ids.empty());
            Strings commands = run.commands();
            std::erase(commands, "CAPABILITIES");
            EXPECT_EQ(commands, (Strings{"GROUP alt.top", "QUIT"}));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Walks, MarkedRunBothWalks, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Overview" : "Classic"; });

} // namespace
} // namespace nimbra::test
