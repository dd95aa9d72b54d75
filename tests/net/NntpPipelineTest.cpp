// Several requests of the article family in flight on one connection: the scripted server
// reads every command before it answers, so the transcript proves they were all sent at once.
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

TEST(NntpPipeline, RepliesAreReadInTheOrderSentOneDoneEach)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("ARTICLE 1"), expect("STAT 2"), expect("BODY <three@x>"),
        sendRaw(sendBlock("220 1 <one@x>", {"Subject: one", "", "first"}).text + "430 no such article\r\n"
                + sendBlock("222 0 <three@x>", {"third"}).text),
        expect("ARTICLE 4"), send("423 no such number"),
    });
    NntpHarness h(server.portText());
    h.client.SetPipelineWindow(3);
    ASSERT_TRUE(h.connect());
    h.take();
    MemoryStream one, three;
    h.call([&] { h.client.ArticleByNumber(1, &one); });
    h.call([&] { h.client.StatByNumber(2); });
    h.call([&] { h.client.BodyByID("three@x", &three); });
    EXPECT_EQ(h.client.RequestsInFlight(), 3);
    EXPECT_THROW(h.client.ArticleByNumber(4, nullptr), NntpException);  // the window is full
    ASSERT_TRUE(h.waitForDone(3));
    EXPECT_EQ(h.take(), (Events{"begin 220 1 <one@x>", "line Subject: one", "line ", "line first", "end 220 1 <one@x>",
                                "begin 222 0 <three@x>", "line third", "end 222 0 <three@x>",
                                "done 7 0", "done 14 430", "done 9 0"}));
    EXPECT_EQ(one.data(), "Subject: one\r\n\r\nfirst\r\n");
    EXPECT_EQ(three.data(), "third\r\n");
    EXPECT_EQ(h.client.RequestsInFlight(), 0);
    EXPECT_EQ(h.client.State(), nntpReady);
    h.call([&] { h.client.ArticleByNumber(4, nullptr); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 423);
    server.verify();
}

TEST(NntpPipeline, OnlyTheArticleFamilyAndOnlyWithAWindow)
{
    FakeNewsServer server({send("200 ready"), expect("ARTICLE 1"), silence(200), sendBlock("220 1 <a@x>", {"a"}),
                           expect("GROUP g"), silence(200), send("211 1 1 1 g")});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.ArticleByNumber(1, nullptr); });
    EXPECT_THROW(h.client.ArticleByNumber(2, nullptr), NntpException);  // window 1: the classic rule
    ASSERT_TRUE(h.waitForNextDone());
    h.client.SetPipelineWindow(16);
    h.call([&] { h.client.Group("g"); });
    EXPECT_THROW(h.client.ArticleByNumber(1, nullptr), NntpException);  // nothing rides behind a GROUP
    ASSERT_TRUE(h.waitForNextDone());
    server.verify();
}

// Connects, asks for articles 1 to 3 at once into h.stream and returns how the requests ended
// ("done ..." events, in order, with the "closed ..." ones but a plain close when asked; once
// all three ended, and what came in 50 ms after).
Events endsOfArticles1To3(NntpHarness& h, bool withCloses)
{
    if (!h.connect())
        return {"no connection"};
    h.take();
    for (int number = 1; number <= 3; ++number)
        h.call([&] { h.client.ArticleByNumber(number, &h.stream); });
    if (!h.waitForDone(3))
        return {"not all ended"};
    pumpFor(50);
    Events done;
    for (const std::string& event : h.take())
        if (event.rfind("done", 0) == 0 || (withCloses && event.rfind("closed", 0) == 0 && event != "closed 0"))
            done.push_back(event);
    return done;
}

TEST(NntpPipeline, CloseEndsTheCurrentRequestAndEveryOneBehindIt)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("ARTICLE 1"), expect("ARTICLE 2"), expect("ARTICLE 3"),
        sendBlock("220 1 <one@x>", {"one"}), sendRaw("220 2 <two@x>\r\nhalf\r\n"), close(),
    });
    NntpHarness h(server.portText());
    h.client.SetPipelineWindow(4);
    // The first reply may be read before the close or with it; the order of the ends is fixed.
    EXPECT_EQ(endsOfArticles1To3(h, true), (Events{"done 7 0", "done 7 0", "done 7 10053"}));
    EXPECT_EQ(h.stream.data(), "one\r\nhalf\r\n");
    EXPECT_EQ(h.client.State(), nntpNotConnected);
    server.verify();
}

TEST(NntpPipeline, AReplyNamingAnotherArticleClosesTheConnection)
{
    // The second reply is the first one again: every reply after it is one article behind.
    // Read on, article 3 would get the reply of 2.
    FakeNewsServer server({
        send("200 ready"),
        expect("ARTICLE 1"), expect("ARTICLE 2"), expect("ARTICLE 3"),
        sendBlock("220 1 <one@x>", {"one"}), sendBlock("220 1 <one@x>", {"one"}), sendBlock("220 2 <two@x>", {"two"}),
        expectClose(),
    });
    NntpHarness h(server.portText());
    h.client.SetPipelineWindow(3);
    EXPECT_EQ(endsOfArticles1To3(h, false), (Events{"done 7 0", "done 7 599", "done 7 10053"}));
    EXPECT_EQ(h.stream.data(), "one\r\n");
    EXPECT_EQ(h.client.State(), nntpNotConnected);
    server.verify();
}

TEST(NntpPipeline, ARepliedNumberOfZeroOrAStatByIdIsNotChecked)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("ARTICLE 5"), expect("STAT <six@x>"),
        sendBlock("220 0 <five@x>", {"five"}), send("223 6 <six@x>"),
    });
    NntpHarness h(server.portText());
    h.client.SetPipelineWindow(2);
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.ArticleByNumber(5, &h.stream); });
    h.call([&] { h.client.StatByID("six@x"); });
    ASSERT_TRUE(h.waitForDone(2));
    Events done;
    for (const std::string& event : h.take())
        if (event.rfind("done", 0) == 0)
            done.push_back(event);
    EXPECT_EQ(done, (Events{"done 7 0", "done 13 0"}));
    EXPECT_EQ(h.client.State(), nntpReady);
    server.verify();
}

TEST(NntpPipeline, AbortDropsEveryRequestInFlightAndReportsOnlyItself)
{
    FakeNewsServer server({send("200 ready"), expect("ARTICLE 1"), expect("ARTICLE 2"), expectClose()});
    NntpHarness h(server.portText());
    h.client.SetPipelineWindow(2);
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.ArticleByNumber(1, nullptr); });
    h.call([&] { h.client.ArticleByNumber(2, nullptr); });
    ASSERT_TRUE(waitUntil([&] { return server.received().size() == 2; }));
    h.call([&] { h.client.Abort(); });
    ASSERT_TRUE(h.waitForNextDone());
    pumpFor(50);
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 18 0"}));
    server.verify();
}

} // namespace
} // namespace nimbra::test
