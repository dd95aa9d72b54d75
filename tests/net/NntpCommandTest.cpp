// The NNTP client's commands against the scripted news server: the command forms on the
// wire, how each reply is read, and the events the client reports for it.
#include "net/AsyncSocket.h"
#include "net/NntpDateTime.h"
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

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
        expect("ARTICLE 8"), send("10054 looks like a socket error"),
        expect("ARTICLE 9"), send("22 two digits"),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.Group("alt.test"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 599);
    EXPECT_EQ(h.client.StatusCode(), 0);
    // A code of other than three digits is no reply code; above all it must not pass for the
    // socket error that says the request was cut short by a close.
    for (std::int64_t number : {7, 8, 9}) {
        h.call([&] { h.client.ArticleByNumber(number, &h.stream); });
        ASSERT_TRUE(h.waitForNextDone());
        EXPECT_EQ(h.lastError, 599) << number;
        EXPECT_EQ(h.client.State(), nntpReady) << number;
    }
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
