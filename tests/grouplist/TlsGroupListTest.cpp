// The blocking connection over TLS: "Get groups" against the fake server serving TLS, and
// the ways a TLS connect can fail, each with its error number and text.
#include "grouplist/BlockingNntp.h"
#include "grouplist/TlsConnectionError.h"
#include "grouplist/WaitPump.h"
#include "platform/TlsSession.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/TestCertificate.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nimbra;
using namespace nimbra::test;

namespace {

const FakeNewsServer::Tls localTls{TestCertificate::local()};

struct TlsListClient {
    explicit TlsListClient(const FakeNewsServer& server, bool tls = true)
    {
        client.Host = "127.0.0.1";
        client.Port = server.port();
        client.UseTls = tls;
        client.OnNewsgroupList = [this](const std::string& name, std::int32_t, std::int32_t, const std::string&,
                                     bool&) { groups.push_back(name); };
    }
    // The error of a connect that must fail.
    TlsConnectionError failedConnect()
    {
        try {
            client.ConnectServer();
        } catch (const TlsConnectionError& error) {
            return error;
        }
        ADD_FAILURE() << "the connect did not fail with a TLS error";
        return TlsConnectionError(0, "");
    }
    BlockingNntp client;
    std::vector<std::string> groups;
};

std::vector<std::string> manyGroups(int count)
{
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back("alt.binaries.pictures.group" + std::to_string(i) + " " + std::to_string(1000 + i) + " 1 y");
    return lines;
}

bool startsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

TEST(TlsGroupList, GetGroupsOverTlsDeliversTheWholeList)
{
    const auto trusted = TestCertificate::local().trustInThisProcess();
    FakeNewsServer server(localTls, {send("200 news.test ready"), expect("MODE READER"), send("201 reader"),
        expect("LIST"), sendBlock("215 list follows", manyGroups(3000)), expect("Quit"), expectClose()});
    TlsListClient list(server);
    list.client.ConnectServer();
    EXPECT_EQ(list.client.Greeting.NumericCode, 200);
    list.client.ListGroups();
    list.client.QuitServer();
    ASSERT_EQ(list.groups.size(), 3000u);
    EXPECT_EQ(list.groups.front(), "alt.binaries.pictures.group0");
    EXPECT_EQ(list.groups.back(), "alt.binaries.pictures.group2999");
    server.verify();
}

TEST(TlsGroupList, UntrustedCertificateIsRefusedThenAcceptedWhenAllowed)
{
    FakeNewsServer server(localTls, {expectClose(), send("200 ready"), expect("MODE READER"), send("201 reader"),
        expect("LIST"), sendBlock("215 list follows", {"alt.test 3 1 y"}), expect("Quit"), expectClose()});
    TlsListClient list(server);
    const TlsConnectionError refused = list.failedConnect();
    EXPECT_EQ(refused.code(), TlsSession::CertificateNotTrusted);
    EXPECT_TRUE(startsWith(refused.what(), "certificate not trusted: ")) << refused.what();
    EXPECT_FALSE(list.client.IsConnected());
    EXPECT_EQ(list.client.TlsPeerFingerprint(), TestCertificate::local().fingerprint());

    list.client.TlsAcceptedFingerprint = list.client.TlsPeerFingerprint();
    list.client.ConnectServer();
    list.client.ListGroups();
    list.client.QuitServer();
    EXPECT_EQ(list.groups, std::vector<std::string>{"alt.test"});
    server.verify();
}

TEST(TlsGroupList, ServerThatDropsOrResetsMidHandshakeRaisesHandshakeFailed)
{
    for (const FakeStep& end : {close(), reset()}) {
        FakeNewsServer server({silence(50), end});
        TlsListClient list(server);
        const TlsConnectionError error = list.failedConnect();
        EXPECT_EQ(error.code(), TlsSession::HandshakeFailed);
        EXPECT_TRUE(startsWith(error.what(), "handshake failed: ")) << error.what();
        EXPECT_FALSE(list.client.IsConnected());
    }
}

TEST(TlsGroupList, PlainTextServerWhileTlsIsOnRaisesHandshakeFailed)
{
    FakeNewsServer server(
        [](FakeConnection&) { return FakeNewsServer::Script{send("200 news.test ready")}; },
        [](const std::string&, FakeConnection&) { return FakeNewsServer::Script{}; });
    TlsListClient list(server);
    list.client.Username = "user";
    const TlsConnectionError error = list.failedConnect();
    EXPECT_EQ(error.code(), TlsSession::HandshakeFailed);
    EXPECT_GT(std::string(error.what()).size(), std::string("handshake failed: ").size()) << error.what();
    for (const std::string& line : server.received())
        EXPECT_EQ(line.find("MODE READER"), std::string::npos);
}

TEST(TlsGroupList, TlsServerWhileTlsIsOffWaitsLikeAnySilentServer)
{
    FakeNewsServer server(localTls, {send("200 never seen")});
    TlsListClient list(server, false);
    list.client.ReadTimeout = 300;
    EXPECT_THROW(list.client.ConnectServer(), ReadTimeoutError);
    EXPECT_FALSE(list.client.IsConnected());
}

TEST(TlsGroupList, WindowKeepsRunningWhileTheHandshakeWaits)
{
    WaitPump pump;
    FakeNewsServer server({silence(800), close()});  // a server slow to answer the hello
    TlsListClient list(server);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    EXPECT_THROW(list.client.ConnectServer(), TlsConnectionError);
    EXPECT_GE(ticks, 2);  // one per 250 ms slice at least; none if the wait did not pump
}
