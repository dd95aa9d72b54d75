// Whole runs of the download session against the model news server: the walk over the
// selected groups, the cache and size selection, and how a run ends.
#include "tests/download/SessionRun.h"
#include "tests/support/EventLoop.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

ModelArticle small(int number, const std::string& id, int lines = 30)
{
    return NewsServerModel::article(number, id, "picture " + id + " (01/01)", lines);
}

void expectEndedCleanly(SessionRun& run)
{
    EXPECT_EQ(run.view.panels[0], "Processing is over");
    EXPECT_EQ(run.view.panels[1], "");
    EXPECT_EQ(run.view.panels[2], "");
    EXPECT_EQ(run.view.panels[3], "");
    EXPECT_TRUE(run.view.getFilesEnabled);
    EXPECT_FALSE(run.view.stopEnabled);
    EXPECT_FALSE(run.view.bothDisabledSeen);
    EXPECT_EQ(run.session.phase(), DownloadSession::phaseIdle);
}

bool contains(const Strings& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(DownloadRun, WalksTheSelectedGroupsInListOrderAndQuits)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a1"), small(2, "a2"), small(3, "a3")});
    run.model.addGroup("alt.two", {small(10, "b10"), small(12, "b12")});
    run.model.addGroup("alt.skip", {small(1, "s1")});
    run.view.groups = {{"alt.skip", false}, {"alt.one", true}, {"alt.middle", false}, {"alt.two", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());

    EXPECT_EQ(run.commands(), (Strings{
        "GROUP alt.one", "STAT 1", "XHDR lines 1", "ARTICLE 1",
        "NEXT", "XHDR lines 2", "ARTICLE 2",
        "NEXT", "XHDR lines 3", "ARTICLE 3",
        "GROUP alt.two", "STAT 10", "XHDR lines 10", "ARTICLE 10",
        "NEXT", "XHDR lines 12", "ARTICLE 12",
        "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2", "a3", "b10", "b12"}));
    EXPECT_EQ(run.sink.groups.back(), "alt.two");
    EXPECT_EQ(run.session.messageIdCache().entries(), (Strings{"a1", "a2", "a3", "b10", "b12"}));
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
    EXPECT_TRUE(run.view.messages.empty());
    EXPECT_TRUE(contains(run.view.panelHistory[0], "Group: alt.one"));
    EXPECT_TRUE(contains(run.view.panelHistory[0], "Group: alt.two"));
    EXPECT_TRUE(contains(run.view.panelHistory[1], "Article: 3 of 3"));
    EXPECT_TRUE(contains(run.view.panelHistory[1], "Article: 2 of 2"));
    EXPECT_TRUE(contains(run.view.panelHistory[2], "100%"));
    expectEndedCleanly(run);
}

TEST(DownloadRun, EmptyGroupIsSkippedWithoutACommand)
{
    SessionRun run;
    run.model.addGroup("alt.empty", {});
    run.view.groups = {{"alt.empty", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.empty", "QUIT"}));
    expectEndedCleanly(run);
}

TEST(DownloadRun, NothingToWalkSendsNothing)
{
    SessionRun run;
    run.start();
    EXPECT_EQ(run.view.messages, (Strings{"No newsgroups in the list"}));
    run.view.groups = {{"alt.one", false}, {"alt.two", false}};
    run.session.bitbtn1Click();
    EXPECT_EQ(run.view.messages, (Strings{"No newsgroups in the list", "Select at least one newsgroup"}));
    pumpFor(200);
    EXPECT_EQ(run.server->connections(), 0);
    EXPECT_FALSE(run.session.sessionActive());
    EXPECT_TRUE(run.view.getFilesEnabled);
    EXPECT_FALSE(run.view.stopEnabled);
}

TEST(DownloadRun, CachedIdsAreAnsweredByNextAtOnce)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a1"), small(2, "a2"), small(3, "a3"), small(4, "a4")});
    run.view.groups = {{"alt.one", true}};
    run.session.messageIdCache().testAndEnter("a1", 100);
    run.session.messageIdCache().testAndEnter("a3", 100);
    run.session.messageIdCache().testAndEnter("a4", 100);
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.one", "STAT 1", "NEXT", "XHDR lines 2", "ARTICLE 2",
                                       "NEXT", "NEXT", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"a2"}));
    expectEndedCleanly(run);
}

TEST(DownloadRun, CacheIsCutToTheFieldAtTheStartOfARun)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a1"), small(2, "a2")});
    run.view.groups = {{"alt.one", true}};
    for (const char* id : {"old1", "old2", "old3", "a1"})
        run.session.messageIdCache().testAndEnter(id, 100);
    run.view.articleCache = "2";
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    // Cut to "old3", "a1" at the start; a1 is known, a2 enters and drops old3.
    EXPECT_EQ(run.sink.ids, (Strings{"a2"}));
    EXPECT_EQ(run.session.messageIdCache().entries(), (Strings{"a1", "a2"}));
}

TEST(DownloadRun, SizeLimitsIncludeBothBounds)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a229", 229), small(2, "a230", 230), small(3, "a460", 460),
                                   small(4, "a461", 461)});
    run.view.groups = {{"alt.one", true}};
    run.view.minimum = "10";
    run.view.maximum = "20";
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.one", "STAT 1", "XHDR lines 1", "NEXT", "XHDR lines 2",
                                       "ARTICLE 2", "NEXT", "XHDR lines 3", "ARTICLE 3", "NEXT", "XHDR lines 4",
                                       "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"a230", "a460"}));
    // A skipped article stays known: the next run does not ask for its size again.
    EXPECT_TRUE(run.session.messageIdCache().contains("a229"));
    EXPECT_TRUE(run.session.messageIdCache().contains("a461"));
    expectEndedCleanly(run);
}

TEST(DownloadRun, MissingFirstArticlesAreFoundByOneRangeQuery)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(3, "a3"), small(4, "a4")});
    run.model.setRange("alt.one", 1, 4);
    run.view.groups = {{"alt.one", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.one", "STAT 1", "XHDR Message-ID 2-4", "STAT 3", "XHDR lines 3",
                                       "ARTICLE 3", "NEXT", "XHDR lines 4", "ARTICLE 4", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"a3", "a4"}));
    EXPECT_TRUE(contains(run.view.panelHistory[1], "Looking for a valid article..."));
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
}

TEST(DownloadRun, LookingForArticlesStopsAtTheGroupsLastNumber)
{
    SessionRun run;
    run.model.addGroup("alt.gone", {small(9, "g9")});
    run.model.setRange("alt.gone", 1, 2);  // the server still announces two expired articles
    run.model.addGroup("alt.two", {small(1, "b1")});
    run.view.groups = {{"alt.gone", true}, {"alt.two", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.gone", "STAT 1", "XHDR Message-ID 2-2", "GROUP alt.two", "STAT 1",
                                       "XHDR lines 1", "ARTICLE 1", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"b1"}));
}

TEST(DownloadRun, NoNextArticleEndsTheGroupAndTheNextGroupIsWalkedWhole)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a1"), small(2, "a2")});
    run.model.setRange("alt.one", 1, 5);  // 3 to 5 have expired: NEXT after 2 answers 421
    run.model.addGroup("alt.two", {small(1, "b1"), small(2, "b2")});
    run.view.groups = {{"alt.one", true}, {"alt.two", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.one", "STAT 1", "XHDR lines 1", "ARTICLE 1", "NEXT",
                                       "XHDR lines 2", "ARTICLE 2", "NEXT", "GROUP alt.two", "STAT 1",
                                       "XHDR lines 1", "ARTICLE 1", "NEXT", "XHDR lines 2", "ARTICLE 2", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2", "b1", "b2"}));
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
}

TEST(DownloadRun, RefusedGroupMovesOnToTheNext)
{
    SessionRun run;
    run.model.addGroup("alt.closed", {small(1, "c1")});
    run.model.refuseGroup("alt.closed", "411 No such newsgroup");
    run.model.addGroup("alt.open", {small(1, "o1")});
    run.view.groups = {{"alt.closed", true}, {"alt.open", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.closed", "GROUP alt.open", "STAT 1", "XHDR lines 1", "ARTICLE 1",
                                       "QUIT"}));
    expectEndedCleanly(run);
}

TEST(DownloadRun, ServiceDiscontinuedIsShownAndTheRunGoesOn)
{
    SessionRun run;
    run.model.addGroup("alt.closed", {small(1, "c1")});
    run.model.refuseGroup("alt.closed", "400 Service discontinued");
    run.view.groups = {{"alt.closed", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.view.messages, (Strings{"error 400"}));
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.closed", "QUIT"}));
}

TEST(DownloadRun, FailedSaveReconnectsAndTriesTheArticleAgain)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a1"), small(2, "a2")});
    run.view.groups = {{"alt.one", true}};
    run.sink.throwNext = true;
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2"}));  // the failed save left no id behind
    EXPECT_EQ(run.session.watchdogExpiries(), 1);
    EXPECT_EQ(run.server->connections(), 2);
    EXPECT_TRUE(run.session.messageIdCache().contains("a1"));
    expectEndedCleanly(run);
}

} // namespace
} // namespace nimbra::test
