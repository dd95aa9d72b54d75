// The NNTP client's limits against the scripted news server: long lines within them pass,
// an article or status line past them is skipped or ends the connection.
#include "net/AsyncSocket.h"
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

TEST(NntpClient, LinesOfAnyLengthWithinTheLimitPass)
{
    const std::string longLine(200000, 'x');
    const std::string longStatus = "211 0 0 0 " + std::string(10000, 'g');
    FakeNewsServer server({send("200 ready"), expect("GROUP a"), send(longStatus), expect("ARTICLE 1"),
                           sendBlock("220 1 <l@x>", {"References: " + longLine, "", longLine, "end"})});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.Group("a"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.client.LastResponse(), longStatus);
    h.call([&] { h.client.ArticleByNumber(1, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(h.stream.data(), "References: " + longLine + "\r\n\r\n" + longLine + "\r\nend\r\n");
    EXPECT_EQ(h.client.State(), nntpReady);
    server.verify();
}

// Article limit 1,000 bytes, header limit 300: an article over either is skipped to its end,
// reported as 598, and the next request on the same connection works.
TEST(NntpClient, ArticlePastItsLimitIsSkippedAndTheConnectionStays)
{
    const std::string line(98, 'b');  // 100 bytes with CR LF
    std::vector<std::string> header = {"Subject: s", ""};
    std::vector<std::string> fits = header, tooLong = header, longHeader = {"X: " + std::string(400, 'h'), ""};
    for (int i = 0; i < 9; ++i)
        fits.push_back(line);
    for (int i = 0; i < 15; ++i)  // the 600 bytes past the limit are read and dropped
        tooLong.push_back(line);
    FakeNewsServer server({
        send("200 ready"),
        expect("ARTICLE 1"), sendBlock("220 1 <a@x>", fits),
        expect("ARTICLE 2"), sendBlock("220 2 <b@x>", tooLong),
        expect("HEAD 3"), sendBlock("221 3 <c@x>", longHeader),
        expect("BODY 3"), sendBlock("222 3 <c@x>", {std::string(400, 'h')}),
        expect("XOVER 1-3"), sendBlock("224 overview", {std::string(900, 'o')}),
        expect("STAT 4"), send("223 4 <d@x>"),
    });
    NntpHarness h(server.portText());
    h.client.SetArticleLimit(1000);
    h.client.SetHeaderLimit(300);
    ASSERT_TRUE(h.connect());
    h.take();
    const std::vector<std::function<void()>> calls = {
        [&] { h.client.ArticleByNumber(1, &h.stream); }, [&] { h.client.ArticleByNumber(2, &h.stream); },
        [&] { h.client.HeadByNumber(3, &h.stream); },    [&] { h.client.BodyByNumber(3, &h.stream); },
        [&] { h.client.XOver("1-3", &h.stream); },       [&] { h.client.StatByNumber(4); },
    };
    std::vector<std::uint16_t> errors;
    std::vector<std::size_t> sizes;
    for (const auto& operation : calls) {
        h.stream.clear();
        h.call(operation);
        ASSERT_TRUE(h.waitForNextDone());
        errors.push_back(h.lastError);
        sizes.push_back(h.stream.data().size());
    }
    EXPECT_EQ(errors, (std::vector<std::uint16_t>{0, 598, 598, 0, 0, 0}));
    // The skipped article stopped at its limit; the header of the 400-byte line never got in.
    EXPECT_EQ(sizes, (std::vector<std::size_t>{14 + 900, 14 + 900, 0, 402, 902, 0}));
    EXPECT_EQ(h.lastResponseAtDone, "223 4 <d@x>");
    EXPECT_EQ(h.client.State(), nntpReady);
    server.verify();
}

// An article that never ends, in its body or in its header (one endless line or endless
// lines): the client holds at most its limits, ends the request with 598 and closes.
TEST(NntpClient, ArticleThatNeverEndsIsCutAndTheConnectionClosed)
{
    const std::vector<ServerScript> endless = {
        {send("220 1 <e@x>"), send("Lines: 10"), send(""), repeat("endless body line", 0)},
        {send("220 1 <e@x>"), repeat("X-Filler: endless header", 0)},
        {send("220 1 <e@x>"), send("Subject: s"), send(""), repeatRaw(std::string(4096, 'z'), 0)},
    };
    for (const ServerScript& reply : endless) {
        ServerScript script = {send("200 ready"), expect("ARTICLE 1")};
        script.insert(script.end(), reply.begin(), reply.end());
        FakeNewsServer server(script);
        NntpHarness h(server.portText());
        h.client.SetArticleLimit(200000);
        h.client.SetHeaderLimit(20000);
        ASSERT_TRUE(h.connect());
        h.take();
        h.call([&] { h.client.ArticleByNumber(1, &h.stream); });
        ASSERT_TRUE(h.waitForNextDone(10000));
        const Events events = h.take();
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(Events(events.end() - 2, events.end()), (Events{"closed 0", "done 7 598"}));
        EXPECT_LE(h.stream.data().size(), 200000u);
        EXPECT_EQ(h.client.State(), nntpNotConnected);
        ASSERT_TRUE(waitUntil([&] { return server.finished(); }, 10000));
        server.verify();
    }
}

TEST(NntpClient, StatusLinePastItsLimitClosesTheConnection)
{
    FakeNewsServer server({send("200 ready"), expect("GROUP a"), sendRaw("211 " + std::string(70000, '1')),
                           expectClose()});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.Group("a"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 0 599"}));
    ASSERT_TRUE(waitUntil([&] { return server.finished(); }));
    server.verify();
}

} // namespace
} // namespace nimbra::test
