// The NNTP client against the scripted news server: each case is the transcript of one
// exchange and the events the client must report for it.
#include "net/AsyncSocket.h"
#include "net/NntpDateTime.h"
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

TEST(NntpClient, GroupReadsItsNumbersWhateverTheCode)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("GROUP alt.test"), send("211 3 1 3 alt.test"),
        expect("GROUP alt.none"), send("411 no such group"),
        expect("GROUP alt.big"), send("211 2147483647 2147483648 9223372036854775807 alt.big"),
        expect("GROUP alt.signed"), send("211 3 -1 3 alt.signed"),
        expect("GROUP alt.huge"), send("211 3 1 9223372036854775808 alt.huge"),
        expect("GROUP alt.short"), send("211 3 1"),
        expect("GROUP alt.glued"), send("211 3 1x 3 alt.glued"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.Group("alt.test"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(h.client.ArticleEstimated(), 3);
    EXPECT_EQ(h.client.ArticleFirst(), 1);
    EXPECT_EQ(h.client.ArticleLast(), 3);

    h.call([&] { h.client.Group("alt.none"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 411);
    EXPECT_EQ(h.client.StatusCode(), 411);
    EXPECT_EQ(h.client.ArticleEstimated(), 0);
    EXPECT_EQ(h.client.ArticleFirst(), 0);
    EXPECT_EQ(h.client.ArticleLast(), 0);

    // Article numbers are 64-bit: past 2^31 they read as sent, up to 2^63-1.
    h.call([&] { h.client.Group("alt.big"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(h.client.ArticleEstimated(), 2147483647);
    EXPECT_EQ(h.client.ArticleFirst(), 2147483648);
    EXPECT_EQ(h.client.ArticleLast(), INT64_MAX);

    // A 211 whose numbers cannot be read is a protocol error, not a group to walk.
    for (const char* name : {"alt.signed", "alt.huge", "alt.short", "alt.glued"}) {
        h.call([&] { h.client.Group(name); });
        ASSERT_TRUE(h.waitForNextDone());
        EXPECT_EQ(h.lastError, 599) << name;
        EXPECT_EQ(h.client.ArticleLast(), 0) << name;
        EXPECT_EQ(h.client.State(), nntpReady) << name;
    }
    server.verify();
}

TEST(NntpClient, ReplyWithoutDigitsIsAnErrorNotSuccess)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("GROUP alt.test"), send("garbage"),
        expect("ARTICLE 7"), send("99999 huge"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.Group("alt.test"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 599);
    EXPECT_EQ(h.client.StatusCode(), 0);
    h.call([&] { h.client.ArticleByNumber(7, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 599);
    EXPECT_EQ(h.client.State(), nntpReady);
    server.verify();
}

TEST(NntpClient, ArticleNumbersPast32BitsAndGarbageNumbers)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("STAT 4294967296"), send("223 4294967296 <big@x> status"),
        expect("NEXT"), send("223 -5 <neg@x>"),
        expect("NEXT"), send("223 <noid@x>"),
        expect("ARTICLE 4294967297"), sendBlock("220 99999999999999999999 <x@y>", {"body"}),
        expectClose(),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.StatByNumber(4294967296); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.client.ArticleNumber(), 4294967296);
    EXPECT_EQ(h.client.ArticleID(), "big@x");
    for (int i = 0; i < 2; ++i) {
        h.call([&] { h.client.Next(); });
        ASSERT_TRUE(h.waitForNextDone());
        EXPECT_EQ(h.client.ArticleNumber(), 4294967296);  // left as it was
    }
    EXPECT_EQ(h.take(), (Events{"done 14 0", "done 15 599", "done 15 599"}));
    EXPECT_EQ(h.client.State(), nntpReady);

    // The block after an unreadable 220 cannot be told from replies: the connection goes.
    h.call([&] { h.client.ArticleByNumber(4294967297, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 7 599"}));
    EXPECT_EQ(h.stream.data(), "");
    EXPECT_EQ(h.client.State(), nntpNotConnected);
    server.verify();
}

TEST(NntpClient, StatSelectsWithoutABlockAndNextLastKeepTheirRules)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("STAT 1234"), send("223 1234 <abc@host.test> status"),
        expect("NEXT"), send("421 no next article"),
        expect("LAST"), send("421 no previous article"),
        expect("STAT"), send("223 77 <x@y>"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.StatByNumber(1234); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), Events{"done 14 0"});
    EXPECT_EQ(h.client.ArticleNumber(), 1234);
    EXPECT_EQ(h.client.ArticleID(), "abc@host.test");

    h.call([&] { h.client.Next(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), Events{"done 15 421"});
    EXPECT_EQ(h.client.ArticleNumber(), 1234);
    EXPECT_EQ(h.client.ArticleID(), "");

    h.call([&] { h.client.Last(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), Events{"done 16 421"});
    EXPECT_EQ(h.client.ArticleNumber(), -1);

    h.call([&] { h.client.StatByNumber(0); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.client.ArticleNumber(), 77);
    server.verify();
}

TEST(NntpClient, DataLinesAreUnstuffedAndTheStatusLineComesBack)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("ARTICLE"),
        sendRaw("220 0 <a1@test> article\r\nSubject: s\r\n\r\n..\r\n..more\r\n.single\r\n.\r\n"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.ArticleByNumber(0, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"begin 220 0 <a1@test> article", "line Subject: s", "line ", "line .", "line .more",
                                "line .single", "end 220 0 <a1@test> article", "done 7 0"}));
    EXPECT_EQ(h.stream.data(), "Subject: s\r\n\r\n.\r\n.more\r\n.single\r\n");
    EXPECT_EQ(h.lastResponseAtDone, "220 0 <a1@test> article");
    EXPECT_EQ(h.client.ArticleID(), "a1@test");
    server.verify();
}

TEST(NntpClient, ArticleFamilyCommandForms)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("HEAD <h@x>"), send("430 no such article"),
        expect("BODY 5"), send("423 no such number"),
        expect("BODY <b@x>"), sendBlock("222 0 <b@x> body", {"text"}),
        expect("HEAD 9"), sendBlock("221 9 <h9@x> head", {"Subject: nine"}),
        expect("STAT <s@x>"), send("223 4 <s@x>"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.HeadByID("h@x", &h.stream); });
    ASSERT_TRUE(h.waitForDone(1));
    EXPECT_EQ(h.lastError, 430);
    h.call([&] { h.client.BodyByNumber(5, &h.stream); });
    ASSERT_TRUE(h.waitForDone(2));
    EXPECT_EQ(h.lastError, 423);
    h.call([&] { h.client.BodyByID("b@x", &h.stream); });
    ASSERT_TRUE(h.waitForDone(3));
    EXPECT_EQ(h.lastType, nntpBodyByID);
    h.call([&] { h.client.HeadByNumber(9, &h.stream); });
    ASSERT_TRUE(h.waitForDone(4));
    EXPECT_EQ(h.lastType, nntpHeadByNumber);
    h.call([&] { h.client.StatByID("s@x"); });
    ASSERT_TRUE(h.waitForDone(5));
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(h.stream.data(), "text\r\nSubject: nine\r\n");
    server.verify();
}

TEST(NntpClient, XHdrCommandFormsAndHeaderLines)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("XHDR lines 1234"), sendRaw("221 lines follow\r\n1234 56\r\n..x\r\n.\r\n"),
        expect("XHDR lines"), send("420 no article selected"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.XHdr(&h.stream, "lines", "1234"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"xbegin 221 lines follow", "xline 1234 56", "xline ..x", "xend 221 lines follow",
                                "done 24 0"}));
    EXPECT_EQ(h.stream.data(), "1234 56\r\n..x\r\n");  // header lines are not unstuffed
    h.call([&] { h.client.XHdr(&h.stream, "lines", ""); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), Events{"done 24 420"});
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

TEST(NntpClient, DateReadsFourteenDigitsOnly)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("DATE"), send("111 20011231235959"),
        expect("DATE"), send("111 200112312359"),
        expect("DATE"), send("111 20011331235959"),
        expect("DATE"), send("500 no"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    const double expected[] = {NntpDateTime::encode(2001, 12, 31, 23, 59, 59), 0, 0, 0};
    for (double when : expected) {
        h.call([&] { h.client.Date(); });
        ASSERT_TRUE(h.waitForNextDone());
        EXPECT_DOUBLE_EQ(h.client.ServerDate(), when);
    }
    EXPECT_EQ(h.take(), (Events{"done 21 0", "done 21 0", "done 21 0", "done 21 500"}));
    server.verify();
}

TEST(NntpClient, ListingCommandsAndModeReader)
{
    const double when = NntpDateTime::encode(2001, 12, 31, 23, 59, 59);
    FakeNewsServer server({
        send("200 ready"),
        expect("LIST"), sendBlock("215 list follows", {"alt.test 3 1 y"}),
        expect("HELP"), sendBlock("100 help", {"ARTICLE"}),
        expect("XOVER 1-3"), sendBlock("224 overview", {"1\tsubject"}),
        expect("LIST OVERVIEW.FMT"), sendBlock("215 format", {"Subject:"}),
        expect("NEWGROUPS 011231 235959 GMT <alt>"), sendBlock("231 new groups", {}),
        expect("NEWNEWS * 011231 235959"), sendBlock("230 new news", {"<n@x>"}),
        expect("MODE READER"), send("201 reader, no posting"),
        expect("MODE READER"), send("502 not for you"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    const std::vector<std::function<void()>> calls = {
        [&] { h.client.List(&h.stream); },
        [&] { h.client.Help(&h.stream); },
        [&] { h.client.XOver("1-3", &h.stream); },
        [&] { h.client.ListOverViewFmt(&h.stream); },
        [&] { h.client.NewGroups(when, true, "alt", &h.stream); },
        [&] { h.client.NewNews(when, false, "", "", &h.stream); },
        [&] { h.client.ModeReader(); },
        [&] { h.client.ModeReader(); },
    };
    std::vector<std::uint16_t> errors;
    for (const auto& operation : calls) {
        h.call(operation);
        ASSERT_TRUE(h.waitForNextDone());
        errors.push_back(h.lastError);
    }
    EXPECT_EQ(errors, (std::vector<std::uint16_t>{0, 0, 0, 0, 0, 0, 0, 502}));
    EXPECT_EQ(h.stream.data(), "alt.test 3 1 y\r\nARTICLE\r\n1\tsubject\r\nSubject:\r\n<n@x>\r\n");
    server.verify();
}

TEST(NntpClient, PostSendsTheArticleInBlocksAndReadsTheFinalReply)
{
    std::vector<std::string> lines;
    std::string article;
    for (int i = 0; i < 600; ++i) {
        lines.push_back("article line " + std::to_string(i));
        article += lines.back() + "\r\n";
    }
    lines.push_back("");  // the terminator starts with its own CR LF
    FakeNewsServer server({
        send("200 ready"),
        expect("POST"), send("340 send it"), expectBlock(lines), send("240 posted"),
        expect("POST"), send("440 posting not allowed"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    MemoryStream source(article);
    h.call([&] { h.client.Post(&source); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(h.lastType, nntpPost);
    h.call([&] { h.client.Post(&source); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 440);
    server.verify();
}

TEST(NntpClient, UnsolicitedLinesAndTheNextRequestFromInsideRequestDone)
{
    FakeNewsServer server({
        send("200 ready"),
        sendRaw("100 hello there\r\n"),
        expect("GROUP alt.test"), send("211 2 5 6 alt.test"),
        expect("STAT 5"), send("223 5 <five@x>"),
    });
    NntpHarness h(server.portText());
    std::uint64_t displayed = 0;
    h.client.OnDisplay = [&](NntpClient&, const char*, std::int32_t len) { displayed += static_cast<std::uint64_t>(len); };
    ASSERT_TRUE(h.connect());
    ASSERT_TRUE(waitUntil([&] { return h.events.size() == 2; }));
    h.client.OnRequestDone = [&](NntpClient& c, NntpRequest type, std::uint16_t error) {
        h.events.push_back("done " + std::to_string(type) + " " + std::to_string(error));
        if (type == nntpGroup)
            c.StatByNumber(c.ArticleFirst());
    };
    h.client.Group("alt.test");
    ASSERT_TRUE(waitUntil([&] { return h.events.size() == 4; }));
    EXPECT_EQ(h.take(), (Events{"connected 0", "data 100 hello there", "done 0 0", "done 14 0"}));
    EXPECT_EQ(displayed, std::string("200 ready\r\n100 hello there\r\n211 2 5 6 alt.test\r\n223 5 <five@x>\r\n").size());
    server.verify();
}

} // namespace
} // namespace nimbra::test
