// Whole download runs over TLS: the model news server behind the fake server's TLS mode,
// the session unchanged above a socket with TLS switched on.
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
    run.session.setTls(true, "");
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
    run.shortWatchdog();
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

TEST(TlsDownload, UntrustedCertificateIsAskedAboutOnceAndTheRunGoesOnWhenTrusted)
{
    SessionRun run;  // the certificate is not trusted by the system in this test
    run.view.timeout = "30";  // a slow handshake is not cut short by the watchdog
    run.view.trustAnswer = true;
    run.model.addGroup("alt.one", four("a"));
    run.view.groups = {{"alt.one", true}};
    startOverTls(run);
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2", "a3", "a4"}));
    ASSERT_EQ(run.view.certificateQuestions.size(), 1u);
    const std::string question = run.view.certificateQuestions[0];
    const std::string fingerprint = TestCertificate::local().fingerprint();
    EXPECT_EQ(question.rfind("127.0.0.1|" + fingerprint + "|", 0), 0u) << question;
    EXPECT_NE(question.find("|certificate not trusted: "), std::string::npos) << question;
    EXPECT_EQ(run.session.tlsAcceptedFingerprint(), fingerprint);
    EXPECT_EQ(run.server->connections(), 2);  // the refused handshake, then the trusted one
    EXPECT_EQ(run.session.watchdogExpiries(), 0);  // connected again at once, not after a time-out
    EXPECT_EQ(run.view.panels[0], "Processing is over");
}

TEST(TlsDownload, RefusedCertificateEndsTheRunWithItsReasonAndSendsNothing)
{
    SessionRun run;
    run.view.timeout = "30";
    run.model.addGroup("alt.one", four("a"));
    run.view.groups = {{"alt.one", true}};
    startOverTls(run);
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_TRUE(run.commands().empty());
    EXPECT_EQ(run.view.certificateQuestions.size(), 1u);
    ASSERT_EQ(run.view.messages.size(), 1u);
    EXPECT_EQ(run.view.messages[0].rfind("Not connected to 127.0.0.1: certificate not trusted: ", 0), 0u)
        << run.view.messages[0];
    // Not "Processing is over": the run did not get through its groups.
    EXPECT_EQ(run.view.panels[0], "Not connected: certificate not trusted");
    EXPECT_TRUE(run.view.getFilesEnabled);
    EXPECT_FALSE(run.view.stopEnabled);
    EXPECT_EQ(run.server->connections(), 1);
}

TEST(TlsDownload, CertificateForAnotherNameEndsTheRunWithoutAsking)
{
    const TestCertificate other({"news.other.test"});
    const auto trusted = other.trustInThisProcess();
    SessionRun run;
    run.model.addGroup("alt.one", four("a"));
    run.view.groups = {{"alt.one", true}};
    run.view.trustAnswer = true;  // never asked: a name mismatch is not the user's to accept
    run.view.timeout = "30";
    run.server = std::make_unique<FakeNewsServer>(FakeNewsServer::Tls{other}, run.model.greeting(),
                                                  run.model.responder());
    run.view.port = run.server->portText();
    run.session.setTls(true, "");
    run.session.bitbtn1Click();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_TRUE(run.view.certificateQuestions.empty());
    EXPECT_EQ(run.view.panels[0], "Not connected: name mismatch");
    EXPECT_TRUE(run.commands().empty());
}

TEST(TlsDownload, PlainServerWhileTlsIsOnShowsWhyAndKeepsReconnectingUntilStop)
{
    SessionRun run;
    run.view.timeout = "10";  // a 1 s watchdog: the failed handshake comes well before it
    run.model.addGroup("alt.one", four("a"));
    run.view.groups = {{"alt.one", true}};
    run.session.setTls(true, "");
    run.start();
    ASSERT_TRUE(waitUntil([&] { return run.server->connections() >= 2; }));
    EXPECT_TRUE(run.session.sessionActive());
    EXPECT_EQ(run.view.panels[0].rfind("handshake failed", 0), 0u) << run.view.panels[0];
    EXPECT_TRUE(run.view.certificateQuestions.empty());
    run.session.sendbtnClick();
    EXPECT_FALSE(run.session.sessionActive());
    // The server only ever saw TLS hellos, never a command in plain text.
    for (const std::string& line : run.commands())
        EXPECT_TRUE(line.find("GROUP") == std::string::npos && line.find("QUIT") == std::string::npos) << line;
}

} // namespace nimbra::test
