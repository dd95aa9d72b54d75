// The NNTP client's connection against the scripted news server: the greeting, the login,
// QUIT, aborts and closes from either side, each case the transcript of one exchange and
// the events the client must report for it.
#include "net/AsyncSocket.h"
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/LoopbackListener.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

// A loopback port with nobody listening.
std::string closedPort()
{
    std::uint16_t port = 0;
    ::close(LoopbackListener::open(port));
    return std::to_string(port);
}

TEST(NntpClient, Banner200ConnectsWithPostingAnd201Without)
{
    for (const std::string banner : {"200 news.test ready", "201 news.test no posting"}) {
        FakeNewsServer server({send(banner)});
        NntpHarness h(server.portText());
        ASSERT_TRUE(h.connect());
        pumpFor(50);
        EXPECT_EQ(h.take(), Events{"connected 0"});  // and no request-done for a connect that worked
        EXPECT_EQ(h.client.State(), nntpReady);
        EXPECT_EQ(h.client.LastResponse(), banner);
        EXPECT_EQ(h.client.PostingPermited(), banner[2] == '0');
        EXPECT_EQ(h.client.StatusCode(), banner[2] == '0' ? 200 : 201);
        server.verify();
    }
}

TEST(NntpClient, RefusedConnectReportsOnceWithTheCloseInBetween)
{
    NntpHarness h(closedPort());
    h.call([&] { h.client.Connect(); });
    ASSERT_TRUE(h.waitForNextDone());
    pumpFor(50);
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 2 10061"}));
    EXPECT_EQ(h.client.State(), nntpNotConnected);
}

TEST(NntpClient, NameLookupConnectsAndEmptyHostEndsTheConnect)
{
    FakeNewsServer server({send("200 ready")});
    NntpHarness h(server.portText());
    h.client.SetHost("localhost");
    ASSERT_TRUE(h.connect());
    EXPECT_EQ(h.take(), Events{"connected 0"});

    NntpHarness empty(server.portText());
    empty.client.SetHost("");
    empty.call([&] { empty.client.Connect(); });
    ASSERT_TRUE(empty.waitForNextDone());
    EXPECT_EQ(empty.take(), Events{"done 2 10022"});
    EXPECT_EQ(empty.client.State(), nntpNotConnected);
}

TEST(NntpClient, WrongStateRaisesAndSendsNothing)
{
    FakeNewsServer server({send("200 ready"), expect("GROUP alt.test"), silence(200), send("211 1 1 1 alt.test")});
    NntpHarness h(server.portText());
    EXPECT_THROW(h.client.Group("alt.test"), NntpException);
    ASSERT_TRUE(h.connect());
    try {
        h.client.Connect();
        ADD_FAILURE() << "connected twice";
    } catch (const NntpException& e) {
        EXPECT_STREQ(e.what(), "Already connected");
    }
    h.call([&] { h.client.Group("  alt.test "); });
    try {
        h.client.Group("alt.other");
        ADD_FAILURE() << "a second request was started";
    } catch (const NntpException& e) {
        EXPECT_STREQ(e.what(), "Not ready for GROUP");
    }
    EXPECT_THROW(h.client.ArticleByNumber(1, nullptr), NntpException);
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"connected 0", "done 0 0"}));
    EXPECT_EQ(server.received(), Events{"GROUP alt.test"});
    server.verify();
}

TEST(NntpClient, AuthenticateBothPaths)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("AUTHINFO USER joe"), send("281 no password needed"),
        expect("AUTHINFO USER joe"), send("381 password required"),
        expect("AUTHINFO PASS secret"), send("281 welcome"),
        expect("AUTHINFO USER joe"), send("381 password required"),
        expect("AUTHINFO PASS secret"), send("481 rejected"),
    });
    NntpHarness h(server.portText());
    h.client.SetUserName("joe");
    h.client.SetPassWord("secret");
    ASSERT_TRUE(h.connect());
    h.take();
    for (int i = 0; i < 3; ++i) {
        h.call([&] { h.client.Authenticate(); });
        ASSERT_TRUE(h.waitForNextDone());
    }
    pumpFor(30);
    EXPECT_EQ(h.take(), (Events{"done 22 281", "done 22 0", "done 22 481"}));
    server.verify();
}

TEST(NntpClient, QuitReportsZeroOnceAndTheCloseFollows)
{
    FakeNewsServer server({send("200 ready"), expect("QUIT"), send("500 what?"), close()});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.Quit(); });
    ASSERT_TRUE(waitUntil([&] { return h.client.State() == nntpNotConnected; }));
    pumpFor(50);
    EXPECT_EQ(h.take(), (Events{"done 17 0", "closed 0"}));
    server.verify();
}

TEST(NntpClient, AbortWhileIdleStillReports)
{
    FakeNewsServer server({send("200 ready"), expectClose()});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.Abort(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 18 0"}));
    EXPECT_EQ(h.client.State(), nntpNotConnected);
    EXPECT_EQ(h.client.LastResponse(), "205 Closing connection - goodbye");
    EXPECT_EQ(h.client.StatusCode(), 205);
    ASSERT_TRUE(waitUntil([&] { return server.finished(); }));
    server.verify();
}

TEST(NntpClient, AbortInsideABlockDropsTheRestAndReconnects)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("ARTICLE 1"),
        sendRaw("220 1 <a@b> article\r\nfirst\r\nsecond\r\n"),
        expectClose(),
        send("200 again"),
        expect("STAT 1"), send("223 1 <a@b>"),
    });
    NntpHarness h(server.portText());
    h.client.OnMessageLine = [&](NntpClient& c) {
        h.events.push_back("line " + c.LastResponse());
        c.Abort();
    };
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.ArticleByNumber(1, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    pumpFor(50);
    EXPECT_EQ(h.take(), (Events{"begin 220 1 <a@b> article", "line first", "closed 0", "done 18 0"}));
    EXPECT_EQ(h.stream.data(), "first\r\n");

    // As the watchdog does: connect again and go on where the walk stood.
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.StatByNumber(1); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"connected 0", "done 14 0"}));
    server.verify();
}

TEST(NntpClient, BannerThatNeverComesWaitsUntilAborted)
{
    FakeNewsServer server({silence(10000)});
    NntpHarness h(server.portText());
    h.call([&] { h.client.Connect(); });
    pumpFor(200);
    EXPECT_EQ(h.client.State(), nntpWaitingBanner);
    EXPECT_TRUE(h.take().empty());
    h.call([&] { h.client.Abort(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 18 0"}));
}

TEST(NntpClient, CloseInsideABlockEndsTheRequestKeepingTheLines)
{
    FakeNewsServer server({send("200 ready"), expect("BODY 3"), sendRaw("222 3 <c@d> body\r\none\r\ntwo\r\n"), close()});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.BodyByNumber(3, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"begin 222 3 <c@d> body", "line one", "line two", "closed 0", "done 10 0"}));
    EXPECT_EQ(h.stream.data(), "one\r\ntwo\r\n");
    EXPECT_EQ(h.client.State(), nntpNotConnected);
    server.verify();
}

TEST(NntpClient, ResetInsideABlockReportsTheReset)
{
    FakeNewsServer server({send("200 ready"), expect("ARTICLE 3"), sendRaw("220 3 <c@d>\r\none\r\n"), silence(100),
                           reset()});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.ArticleByNumber(3, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"begin 220 3 <c@d>", "line one", "closed 10054", "done 7 10054"}));
    server.verify();
}

TEST(NntpClient, ACloseDeliversEveryLineBeforeIt)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 2000; ++i)
        lines.push_back("line number " + std::to_string(i));
    FakeStep block = sendBlock("220 9 <e@f>", lines);
    block.text += "after\r\n";
    FakeNewsServer server({send("200 ready"), expect("ARTICLE 9"), block, close()});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.ArticleByNumber(9, &h.stream); });
    ASSERT_TRUE(waitUntil([&] { return h.client.State() == nntpNotConnected; }));
    pumpFor(50);
    const Events events = h.take();
    ASSERT_EQ(events.size(), lines.size() + 5);
    EXPECT_EQ(events[lines.size()], "line line number 1999");
    // Bytes after the block arrive as unsolicited data, all before the close.
    EXPECT_EQ(events[events.size() - 4], "end 220 9 <e@f>");
    Events middle(events.end() - 3, events.end() - 1);
    std::sort(middle.begin(), middle.end());
    EXPECT_EQ(middle, (Events{"data after", "done 7 0"}));
    EXPECT_EQ(events.back(), "closed 0");
    server.verify();
}

// A server that closes an idle connection (as INN does after its idle time) is seen at once.
TEST(NntpClient, ServerCloseWhileIdleIsReportedAtOnce)
{
    FakeNewsServer server({send("200 ready"), expect("GROUP a"), send("211 1 1 1 a"), silence(100), close()});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.Group("a"); });
    ASSERT_TRUE(h.waitForNextDone());
    ASSERT_TRUE(waitUntil([&] { return h.client.State() == nntpNotConnected; }, 2000));
    pumpFor(50);
    EXPECT_EQ(h.take(), (Events{"connected 0", "done 0 0", "closed 0"}));
    server.verify();
}

} // namespace
} // namespace nimbra::test
