// Download runs that meet authentication, silence, broken replies and the Stop button.
#include "tests/download/SessionRun.h"
#include "tests/support/EventLoop.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

ModelArticle small(int number, const std::string& id, int lines = 30)
{
    return NewsServerModel::article(number, id, "picture " + id + " (01/01)", lines);
}

std::vector<ModelArticle> four(const std::string& prefix)
{
    return {small(1, prefix + "1"), small(2, prefix + "2"), small(3, prefix + "3"), small(4, prefix + "4")};
}

void expectIdle(SessionRun& run)
{
    EXPECT_FALSE(run.session.sessionActive());
    EXPECT_TRUE(run.view.getFilesEnabled);
    EXPECT_FALSE(run.view.stopEnabled);
    EXPECT_FALSE(run.view.bothDisabledSeen);
    EXPECT_EQ(run.view.panels[1], "");
    EXPECT_EQ(run.view.panels[2], "");
    EXPECT_EQ(run.view.panels[3], "");
}

TEST(DownloadFault, AuthenticatesOncePerConnectionWhenBothCredentialsAreGiven)
{
    SessionRun run;
    run.model.setCredentials("user", "secret");
    run.model.addGroup("alt.one", {small(1, "a1")});
    run.model.addGroup("alt.two", {small(1, "b1")});
    run.view.groups = {{"alt.one", true}, {"alt.two", true}};
    run.view.userName = "user";
    run.view.password = "secret";
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{
        "AUTHINFO USER user", "AUTHINFO PASS secret", "GROUP alt.one", "STAT 1", "XHDR lines 1", "ARTICLE 1",
        "GROUP alt.two", "STAT 1", "XHDR lines 1", "ARTICLE 1", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "b1"}));
}

TEST(DownloadFault, OnlyOneCredentialReconnectsUntilStop)
{
    SessionRun run;
    run.shortWatchdog();
    run.model.addGroup("alt.one", {small(1, "a1")});
    run.view.groups = {{"alt.one", true}};
    run.view.userName = "user";
    run.start();
    ASSERT_TRUE(waitUntil([&] { return run.server->connections() >= 3; }));
    EXPECT_TRUE(run.commands().empty());  // nothing follows the greeting
    EXPECT_TRUE(run.session.sessionActive());
    EXPECT_TRUE(run.view.stopEnabled);
    run.session.sendbtnClick();
    expectIdle(run);
    const int connections = run.server->connections();
    pumpFor(400);
    EXPECT_EQ(run.server->connections(), connections);  // Stop ends the reconnecting too
}

TEST(DownloadFault, SilenceReconnectsAndResumesWithStatOfTheArticleReached)
{
    SessionRun run;
    run.shortWatchdog();
    run.model.addGroup("alt.one", four("a"));
    run.model.silentAtCommand(6);  // XHDR lines 2
    run.view.groups = {{"alt.one", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{
        "GROUP alt.one", "STAT 1", "XHDR lines 1", "ARTICLE 1", "NEXT", "XHDR lines 2",
        "GROUP alt.one", "STAT 2", "XHDR lines 2", "ARTICLE 2", "NEXT", "XHDR lines 3", "ARTICLE 3", "NEXT",
        "XHDR lines 4", "ARTICLE 4", "QUIT"}));
    EXPECT_EQ(run.server->connections(), 2);
    EXPECT_EQ(run.session.watchdogExpiries(), 1);
    // The article interrupted is looked at again, not skipped.
    EXPECT_EQ(run.session.messageIdCache().entries(), (Strings{"a1", "a2", "a3", "a4"}));
    EXPECT_EQ(run.view.panels[0], "Processing is over");
}

TEST(DownloadFault, ArticleCutShortIsFetchedAgainWholeAfterTheReconnect)
{
    SessionRun run;
    run.shortWatchdog();
    run.model.addGroup("alt.one", {small(1, "a1"), small(2, "a2", 200), small(3, "a3")});
    run.model.silentInsideArticle(2);
    run.view.groups = {{"alt.one", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2", "a3"}));  // the cut copy never reached the sink
    EXPECT_TRUE(run.session.messageIdCache().contains("a2"));
    EXPECT_EQ(run.server->connections(), 2);
}

TEST(DownloadFault, ArticleThatFailsOnItsSecondTryIsWalkedPast)
{
    SessionRun run;
    run.shortWatchdog();
    run.model.addGroup("alt.one", {small(1, "a1"), small(2, "a2", 200), small(3, "a3")});
    run.model.silentInsideArticle(2);  // command 7, on the first connection
    run.model.closeAtCommand(11);      // ARTICLE 2 again, on the second
    run.view.groups = {{"alt.one", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    const Strings commands = run.commands();
    EXPECT_EQ(Strings(commands.begin() + 11, commands.end()),
              (Strings{"GROUP alt.one", "STAT 2", "NEXT", "XHDR lines 3", "ARTICLE 3", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a3"}));
    EXPECT_FALSE(run.session.messageIdCache().contains("a2"));  // a later run tries it again
    EXPECT_EQ(run.server->connections(), 3);
}

TEST(DownloadFault, ConnectionClosedByTheServerIsResumedAtOnce)
{
    SessionRun run;  // with the 60 s watchdog: the close itself makes the reconnect
    run.model.addGroup("alt.one", four("a"));
    run.model.closeAtCommand(5);  // NEXT after the first article
    run.view.groups = {{"alt.one", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2", "a3", "a4"}));
    EXPECT_EQ(run.server->connections(), 2);
}

TEST(DownloadFault, StopDuringAFetchEndsTheRunAtOnce)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a1", 400), small(2, "a2")});
    run.model.silentInsideArticle(1);
    run.view.groups = {{"alt.one", true}};
    run.view.timeout = "100";  // the watchdog stays out of it
    run.start();
    ASSERT_TRUE(waitUntil([&] { return !run.view.panels[2].empty(); }));  // body lines are arriving
    EXPECT_EQ(run.session.phase(), DownloadSession::phaseFetching);
    run.session.sendbtnClick();
    expectIdle(run);
    EXPECT_EQ(run.view.panels[0], "Processing is over");
    pumpFor(300);
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.one", "STAT 1", "XHDR lines 1", "ARTICLE 1"}));
    EXPECT_TRUE(run.sink.ids.empty());
    EXPECT_FALSE(run.session.messageIdCache().contains("a1"));
    expectIdle(run);
}

TEST(DownloadFault, SizeThatIsNoNumberReconnectsAndSkipsTheArticle)
{
    SessionRun run;
    std::vector<ModelArticle> articles = four("a");
    articles[1].headers.back() = "Lines: many";
    run.model.addGroup("alt.one", articles);
    run.view.groups = {{"alt.one", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.session.watchdogExpiries(), 1);
    EXPECT_EQ(run.view.stopHistory, (std::vector<bool>{true, false}));  // "Stop" stayed usable throughout
    EXPECT_EQ(run.commands(), (Strings{
        "GROUP alt.one", "STAT 1", "XHDR lines 1", "ARTICLE 1", "NEXT", "XHDR lines 2",
        "GROUP alt.one", "STAT 2", "NEXT", "XHDR lines 3", "ARTICLE 3", "NEXT", "XHDR lines 4", "ARTICLE 4",
        "QUIT"}));
    EXPECT_TRUE(run.session.messageIdCache().contains("a2"));  // a broken article stays skipped
    EXPECT_FALSE(run.view.bothDisabledSeen);
}

TEST(DownloadFault, UnansweredQuitEndsTheRunAtTheTimeOut)
{
    SessionRun run;
    run.shortWatchdog();
    run.model.addGroup("alt.one", {small(1, "a1")});
    run.model.silentAtCommand(5);  // QUIT
    run.view.groups = {{"alt.one", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands().back(), "QUIT");
    EXPECT_EQ(run.server->connections(), 1);
    EXPECT_EQ(run.view.panels[0], "Processing is over");
    expectIdle(run);
}

TEST(DownloadFault, CountdownShowsTheSecondsLeft)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a1"), small(2, "a2")});
    run.model.silentAtCommand(3);  // XHDR lines 1: the run waits for the watchdog
    run.view.groups = {{"alt.one", true}};
    run.view.timeout = "5";
    run.start();
    ASSERT_TRUE(waitUntil([&] { return run.view.panels[3] == "3"; }));
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2"}));
    const Strings& shown = run.view.panelHistory[3];
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0], "4");
    EXPECT_EQ(shown[1], "3");
}

} // namespace
} // namespace nimbra::test
