// A real news server (a private INN) that drops a reader left idle: the run notices the close
// as it happens, connects again at once and finishes the group, instead of waiting for its own
// time-out. Skipped, with the reason, only where inn2 cannot run.
#include "tests/download/SessionRun.h"
#include "tests/support/EventLoop.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PrivateInnServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace nimbra::test {
namespace {

const std::string Group = "alt.binaries.pictures.idle";

// Holds the run still after the first article for longer than the server lets a reader idle.
class IdleAfterFirstArticle : public ArticleSink {
public:
    explicit IdleAfterFirstArticle(RecordingSink& inner) : inner_(inner) {}
    void articleDone(const Article& article) override
    {
        inner_.articleDone(article);
        if (inner_.ids.size() == 1)
            std::this_thread::sleep_for(std::chrono::seconds(4));
    }

private:
    RecordingSink& inner_;
};

TEST(InnIdleClose, AConnectionTheServerDropsWhileIdleIsMadeAgainAtOnce)
{
    const std::string missing = PrivateInnServer::unavailable();
    if (!missing.empty())
        GTEST_SKIP() << "no private INN: " << missing;
    PrivateInnServer inn;
    inn.setClientTimeout(2);
    std::string whyNot;
    ASSERT_TRUE(inn.start(whyNot)) << whyNot;
    ASSERT_TRUE(inn.newGroup(Group, whyNot)) << whyNot;
    for (const char* id : {"idle1", "idle2", "idle3"})
        ASSERT_TRUE(inn.post({"From: poster@nimbra.test", "Newsgroups: " + Group, std::string("Subject: ") + id,
                              std::string("Message-ID: <") + id + "@nimbra.test>", "", "a line", "another line"},
                             whyNot))
            << whyNot;

    LogCapture log;
    SessionRun run;  // its watchdog is a minute: only the close can bring the next connection
    IdleAfterFirstArticle sink(run.sink);
    run.session.setArticleSink(&sink);
    run.view.port = inn.portText();
    run.view.groups = {{Group, true}};
    run.session.bitbtn1Click();
    ASSERT_TRUE(run.waitForEnd(30000));
    EXPECT_EQ(run.sink.ids, (std::vector<std::string>{"idle1@nimbra.test", "idle2@nimbra.test", "idle3@nimbra.test"}));
    EXPECT_TRUE(log.has("given up: the server closed the connection"));
    EXPECT_EQ(log.count("given up: no reply within the time-out"), 0);
    EXPECT_GE(run.session.watchdogExpiries(), 1);
}

} // namespace
} // namespace nimbra::test
