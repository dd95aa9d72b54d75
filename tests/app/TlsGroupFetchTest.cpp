// "Get groups" with the SSL/TLS box ticked, against the fake server serving TLS with a
// certificate the system does not trust: the question, the retry, and the refusal's text.
#include "app/GroupFetchView.h"
#include "app/GroupListFetch.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/TestCertificate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nimbra;
using namespace nimbra::test;

namespace {

class TlsFetchView : public GroupFetchView {
public:
    std::string port;
    bool trust = false;
    std::string accepted;
    std::vector<std::string> questions;  // the fingerprints asked about
    std::vector<std::string> errors;

    std::string hostText() const override { return "127.0.0.1"; }
    std::string portText() const override { return port; }
    std::string userNameText() const override { return {}; }
    std::string passwordText() const override { return {}; }
    bool askYesNo(const std::string&) override { return true; }
    void showError(const std::string& text) override { errors.push_back(text); }
    void setWaitCaption(const std::string&) override {}
    void setStopVisible(bool) override {}
    void showWaitWindow() override {}
    void hideWaitWindow() override {}
    void setMainWindowEnabled(bool) override {}
    void refillGroupList() override {}
    bool tlsEnabled() const override { return true; }
    std::string acceptedCertificate(const std::string&) const override { return accepted; }
    bool trustCertificate(const std::string& host, const std::string& fingerprint, const std::string&,
                          const std::string& reason) override
    {
        EXPECT_EQ(host, "127.0.0.1");
        EXPECT_EQ(reason.rfind("certificate not trusted: ", 0), 0u) << reason;
        questions.push_back(fingerprint);
        if (trust)
            accepted = fingerprint;
        return trust;
    }
};

FakeNewsServer::Script listing()
{
    return {send("200 news.test"), expect("MODE READER"), send("200 reader"), expect("LIST"),
        sendBlock("215 list follows", {"alt.binaries.test 10 1 y"}), expect("Quit"), expectClose()};
}

} // namespace

TEST(TlsGroupFetch, UntrustedCertificateIsAskedAboutOnceThenTheListComes)
{
    FakeNewsServer::Script script{expectClose()};  // the refused handshake
    for (const FakeStep& step : listing())
        script.push_back(step);
    for (const FakeStep& step : listing())  // the next fetch: no question, the accepted one passes
        script.push_back(step);
    FakeNewsServer server(FakeNewsServer::Tls{TestCertificate::local()}, script);
    TlsFetchView view;
    view.port = server.portText();
    view.trust = true;
    std::vector<std::string> fullList;
    GroupListFetch fetch(view, fullList);
    fetch.getGroups();
    EXPECT_EQ(view.questions, std::vector<std::string>{TestCertificate::local().fingerprint()});
    EXPECT_EQ(fullList, std::vector<std::string>{"alt.binaries.test"});
    EXPECT_TRUE(view.errors.empty());
    fetch.getGroups();
    EXPECT_EQ(view.questions.size(), 1u);
    EXPECT_TRUE(view.errors.empty());
    server.verify();
}

TEST(TlsGroupFetch, RefusedCertificateReportsWhyInsteadOfNotConnected)
{
    FakeNewsServer server(FakeNewsServer::Tls{TestCertificate::local()}, {expectClose()});
    TlsFetchView view;
    view.port = server.portText();
    std::vector<std::string> fullList;
    GroupListFetch fetch(view, fullList);
    fetch.getGroups();
    EXPECT_EQ(view.questions.size(), 1u);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0].rfind("certificate not trusted: ", 0), 0u) << view.errors[0];
    EXPECT_TRUE(fullList.empty());
    server.verify();
}
