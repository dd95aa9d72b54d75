// The NNTP client against the model news server's hostile behaviours: what reaches the caller
// is always a bounded, clearly reported outcome.
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/NewsServerModel.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

// Gives the model a group "alt.hostile" of three articles numbered from first.
void fill(NewsServerModel& m, std::int64_t first = 1)
{
    m.addGroup("alt.hostile", {NewsServerModel::article(first, "a@h", "one", 5),
                               NewsServerModel::article(first + 1, "b@h", "two", 5),
                               NewsServerModel::article(first + 2, "c@h", "three", 5)});
}

// Connects and selects the group; the events so far are taken.
void select(NntpHarness& h)
{
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.Group("alt.hostile"); });
    ASSERT_TRUE(h.waitForNextDone());
    ASSERT_EQ(h.lastError, 0);
    h.take();
}

TEST(HostileServer, EndlessBodyAndEndlessHeaderEndWith598WithinTheLimit)
{
    NewsServerModel m;
    fill(m);
    m.endlessArticle(1);
    m.endlessHeader(2);
    auto server = m.start();
    NntpHarness h(server->portText());
    h.client.SetArticleLimit(100000);
    h.client.SetHeaderLimit(10000);
    for (std::int64_t number : {1, 2}) {
        select(h);
        h.stream.clear();
        h.call([&] { h.client.ArticleByNumber(number, &h.stream); });
        ASSERT_TRUE(h.waitForNextDone(10000));
        EXPECT_EQ(h.lastError, 598) << number;
        EXPECT_LE(h.stream.data().size(), number == 1 ? 100000u : 10000u);
        EXPECT_EQ(h.client.State(), nntpNotConnected);
    }
    // The body of the article whose header never ends is whole.
    select(h);
    h.stream.clear();
    h.call([&] { h.client.BodyByNumber(2, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(h.client.State(), nntpReady);
}

// A drip keeps the request alive line by line; only the caller's own deadline ends it.
TEST(HostileServer, DripDeliversLineByLineAndEndsOnlyByAbort)
{
    NewsServerModel m;
    fill(m);
    m.dripArticle(1, 40);
    auto server = m.start();
    NntpHarness h(server->portText());
    select(h);
    h.call([&] { h.client.ArticleByNumber(1, &h.stream); });
    ASSERT_TRUE(waitUntil([&] { return h.events.size() >= 12; }));
    EXPECT_EQ(h.events.back(), "line a body line that comes with no end in sight");
    EXPECT_EQ(h.doneCount, 1);  // only the GROUP ended
    h.call([&] { h.client.Abort(); });
    ASSERT_TRUE(h.waitForDone(2));
    EXPECT_EQ(h.lastType, nntpAbort);
}

TEST(HostileServer, SameNumberNextIsReportedAsIs)
{
    NewsServerModel m;
    fill(m);
    m.setSameNumberNext(true);
    auto server = m.start();
    NntpHarness h(server->portText());
    select(h);
    for (int i = 0; i < 3; ++i) {
        h.call([&] { h.client.Next(); });
        ASSERT_TRUE(h.waitForNextDone());
        EXPECT_EQ(h.client.ArticleNumber(), 1);
    }
    EXPECT_EQ(h.take(), (Events{"done 15 0", "done 15 0", "done 15 0"}));
}

TEST(HostileServer, CloseBeforeGreetingEndsTheConnectWithAnError)
{
    NewsServerModel m;
    fill(m);
    m.closeBeforeGreeting(2);
    auto server = m.start();
    NntpHarness h(server->portText());
    for (int i = 0; i < 2; ++i) {
        h.call([&] { h.client.Connect(); });
        ASSERT_TRUE(h.waitForNextDone());
        EXPECT_EQ(h.take(), (Events{"closed 10053", "done 2 10053"}));
        EXPECT_EQ(h.client.State(), nntpNotConnected);
    }
    ASSERT_TRUE(h.connect());
    EXPECT_EQ(h.take(), Events{"connected 0"});
}

TEST(HostileServer, ArticleNumbersBeyond32Bits)
{
    const std::int64_t first = 2147483647;
    NewsServerModel m;
    fill(m, first);
    auto server = m.start();
    NntpHarness h(server->portText());
    select(h);
    EXPECT_EQ(h.client.ArticleFirst(), first);
    EXPECT_EQ(h.client.ArticleLast(), first + 2);
    h.call([&] { h.client.StatByNumber(first); });
    ASSERT_TRUE(h.waitForNextDone());
    h.call([&] { h.client.Next(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.client.ArticleNumber(), first + 1);
    h.call([&] { h.client.ArticleByNumber(first + 2, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(h.client.ArticleNumber(), 2147483649);
    EXPECT_EQ(h.client.ArticleID(), "c@h");
}

} // namespace
} // namespace nimbra::test
