// Whole download runs over TLS: the model news server behind the fake server's TLS mode,
// the session unchanged above a socket with TLS switched on.
#include "net/AsyncSocket.h"
#include "tests/download/SessionRun.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestCertificate.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

std::vector<ModelArticle> four(const std::string& prefix)
{
    std::vector<ModelArticle> articles;
    for (int i = 1; i <= 4; ++i)
        articles.push_back(NewsServerModel::article(i, prefix + std::to_string(i), "picture (01/01)", 300));
    return articles;
}

void startOverTls(SessionRun& run)
{
    run.server = std::make_unique<FakeNewsServer>(FakeNewsServer::Tls{TestCertificate::local()}, run.model.greeting(),
                                                  run.model.responder());
    run.view.port = run.server->portText();
    run.session.client().Socket().SetTlsEnabled(true);
    run.session.bitbtn1Click();
}

} // namespace

TEST(TlsDownload, RunOverTlsFetchesEveryArticleOfEveryGroup)
{
    const auto trusted = TestCertificate::local().trustInThisProcess();
    SessionRun run;
    run.model.addGroup("alt.one", four("a"));
    run.model.addGroup("alt.two", four("b"));
    run.view.groups = {{"alt.one", true}, {"alt.two", true}};
    startOverTls(run);
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2", "a3", "a4", "b1", "b2", "b3", "b4"}));
    EXPECT_EQ(run.server->connections(), 1);
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
    EXPECT_EQ(run.view.panels[0], "Processing is over");
}

TEST(TlsDownload, WatchdogReconnectsOverTlsAndResumesAtTheArticleReached)
{
    const auto trusted = TestCertificate::local().trustInThisProcess();
    SessionRun run;
    run.model.addGroup("alt.one", four("a"));
    run.model.silentAtCommand(6);  // XHDR lines 2
    run.view.groups = {{"alt.one", true}};
    startOverTls(run);
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{
        "GROUP alt.one", "STAT 1", "XHDR lines 1", "ARTICLE 1", "NEXT", "XHDR lines 2",
        "GROUP alt.one", "STAT 2", "XHDR lines 2", "ARTICLE 2", "NEXT", "XHDR lines 3", "ARTICLE 3", "NEXT",
        "XHDR lines 4", "ARTICLE 4", "QUIT"}));
    EXPECT_EQ(run.server->connections(), 2);  // the server speaks TLS only: both were encrypted
    EXPECT_EQ(run.session.watchdogExpiries(), 1);
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2", "a3", "a4"}));
}

TEST(TlsDownload, RefusedCertificateKeepsTheRunWaitingUntilStopAndSendsNothing)
{
    SessionRun run;  // the certificate is not trusted in this test
    run.view.timeout = "3";  // a handshake under load is not cut short by the watchdog
    run.model.addGroup("alt.one", four("a"));
    run.view.groups = {{"alt.one", true}};
    startOverTls(run);
    ASSERT_TRUE(waitUntil([&] { return run.server->connections() >= 2; }));
    EXPECT_TRUE(run.commands().empty());
    const std::string text = run.session.client().Socket().TlsErrorText();
    EXPECT_EQ(text.rfind("certificate not trusted: ", 0), 0u) << text;
    run.session.sendbtnClick();
    EXPECT_FALSE(run.session.sessionActive());
}
} // namespace nimbra::test
