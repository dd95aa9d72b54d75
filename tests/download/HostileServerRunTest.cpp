// Download runs against a server that refuses, loops or throws: each run ends, with its
// reason where the server refused it, and every failure caught at an edge is logged.
#include "tests/download/SessionRun.h"
#include "tests/support/EventLoop.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

ModelArticle small(std::int64_t number, const std::string& id)
{
    return NewsServerModel::article(number, id, "picture " + id + " (01/01)", 30);
}

void expectRefused(SessionRun& run, const std::string& reasonPart)
{
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_TRUE(run.outcome.failed());
    EXPECT_NE(run.outcome.reason().find(reasonPart), std::string::npos) << run.outcome.reason();
    ASSERT_EQ(run.view.messages.size(), 1u);
    EXPECT_EQ(run.view.messages[0], run.outcome.reason());
    EXPECT_EQ(run.view.panels[0], "Stopped: " + run.outcome.reason());
    EXPECT_TRUE(run.view.getFilesEnabled);
    EXPECT_EQ(run.server->connections(), 1);  // not retried
    EXPECT_TRUE(run.sink.ids.empty());
}

TEST(HostileServerRun, NextAnsweringTheSameNumberEndsTheGroup)
{
    SessionRun run;
    run.model.addGroup("alt.loop", {small(1, "l1"), small(2, "l2"), small(3, "l3")});
    run.model.addGroup("alt.two", {small(1, "b1")});
    run.model.setSameNumberNext(true);
    run.view.groups = {{"alt.loop", true}, {"alt.two", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.loop", "STAT 1", "XHDR lines 1", "ARTICLE 1", "NEXT",
                                       "GROUP alt.two", "STAT 1", "XHDR lines 1", "ARTICLE 1", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"l1", "b1"}));
    EXPECT_EQ(run.view.panels[0], "Processing is over");
}

TEST(HostileServerRun, ArticleNumbersPastTwoToTheThirtyFirstAreWalked)
{
    SessionRun run;
    const std::int64_t big = 2147483647;
    run.model.addGroup("alt.big", {small(big, "x1"), small(big + 1, "x2"), small(big + 5000000000LL, "x3")});
    run.view.groups = {{"alt.big", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"x1", "x2", "x3"}));
    EXPECT_EQ(run.commands().at(1), "STAT 2147483647");
    EXPECT_EQ(run.commands().at(5), "XHDR lines 2147483648");
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
}

TEST(HostileServerRun, ConnectionsClosedBeforeTheGreetingAreRetriedWithABackOff)
{
    LogCapture log;
    SessionRun run;  // no watchdog involved: each close ends its connect
    run.model.addGroup("alt.one", {small(1, "a1"), small(2, "a2")});
    run.model.closeBeforeGreeting(3);
    run.view.groups = {{"alt.one", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.server->connections(), 4);
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2"}));
    // At once, then after 1 s and 2 s, each with its reason; progress resets the back-off.
    EXPECT_TRUE(log.has("given up: the connect failed (error 10053); connecting again in 0 s"));
    EXPECT_TRUE(log.has("connecting again in 1 s"));
    EXPECT_TRUE(log.has("connecting again in 2 s"));
    EXPECT_FALSE(log.has("connecting again in 4 s"));
    EXPECT_EQ(run.session.reconnectDelaySeconds(), 0);
    EXPECT_FALSE(run.outcome.failed());
}

TEST(HostileServerRun, WrongPasswordEndsTheRunWithItsReason)
{
    SessionRun run;
    run.model.setCredentials("user", "secret");
    run.model.addGroup("alt.one", {small(1, "a1")});
    run.view.groups = {{"alt.one", true}};
    run.view.userName = "user";
    run.view.password = "wrong";
    run.start();
    expectRefused(run, "refused the login (481)");
    EXPECT_EQ(run.commands(), (Strings{"AUTHINFO USER user", "AUTHINFO PASS wrong"}));
}

TEST(HostileServerRun, LoginRequiredWithoutCredentialsEndsTheRun)
{
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a1")});
    run.model.refuseGroup("alt.one", "480 Authentication required");
    run.view.groups = {{"alt.one", true}};
    run.start();
    expectRefused(run, "requires a login for alt.one");
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.one"}));
}

TEST(HostileServerRun, GreetingOf400Or502EndsTheRunWithoutACommand)
{
    for (const std::string greeting : {"400 Service temporarily unavailable", "502 Access denied"}) {
        SessionRun run;
        run.model.addGroup("alt.one", {small(1, "a1")});
        run.model.setGreeting(greeting);
        run.view.groups = {{"alt.one", true}};
        run.start();
        expectRefused(run, greeting);
        EXPECT_TRUE(run.commands().empty()) << greeting;
    }
}

TEST(HostileServerRun, ASaverExceptionIsLoggedWithItsText)
{
    LogCapture log;
    SessionRun run;
    run.model.addGroup("alt.one", {small(1, "a1")});
    run.view.groups = {{"alt.one", true}};
    run.sink.throwNext = true;
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_TRUE(log.has("a step of the run failed: disk full"));
    EXPECT_TRUE(log.has("given up: a step failed: disk full"));
    EXPECT_TRUE(log.has("group alt.one: estimate 1, first 1, last 1"));
    EXPECT_EQ(run.sink.ids, (Strings{"a1"}));
}

} // namespace
} // namespace nimbra::test
