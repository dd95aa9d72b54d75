// The socket's TLS layer under the NNTP client, against the scripted news server serving
// TLS with a certificate made for 127.0.0.1 at start, and against servers that get TLS wrong.
#include "net/AsyncSocket.h"
#include "net/SocketException.h"
#include "platform/TlsSession.h"
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/TestCertificate.h"
#include "tools/newsmodel/TlsServerStream.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

const FakeNewsServer::Tls localTls{TestCertificate::local()};

std::vector<std::string> articleLines(int count)
{
    std::vector<std::string> lines = {"Subject: big", "Message-ID: <big@test>", ""};
    for (int i = 0; i < count; ++i)
        lines.push_back((i % 40 == 0 ? "." : "M") + std::string(60, static_cast<char>('A' + i % 26)));
    return lines;
}

std::string stored(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

bool startsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

void enableTls(NntpHarness& h, const std::string& acceptedFingerprint = {})
{
    h.client.Socket().SetTlsEnabled(true);
    h.client.Socket().SetTlsAcceptedFingerprint(acceptedFingerprint);
}

} // namespace

// ---- a session over TLS --------------------------------------------------------------------

TEST(TlsSocket, ArticlesAndCommandsTravelEncryptedAndIntact)
{
    const auto trusted = TestCertificate::local().trustInThisProcess();
    const std::vector<std::string> lines = articleLines(5000);  // about 300 KB: many records
    FakeNewsServer server(localTls, {
        send("200 news.test ready"),
        expect("GROUP alt.test"),
        send("211 3 1 3 alt.test"),
        expect("ARTICLE 1"),
        sendBlock("220 1 <big@test> article", lines),
        expect("QUIT"),
        send("205 bye"),
    });
    NntpHarness h(server.portText());
    enableTls(h);
    ASSERT_TRUE(h.connect());
    EXPECT_EQ(h.take(), Events{"connected 0"});
    EXPECT_TRUE(h.client.Socket().TlsActive());
    EXPECT_EQ(h.client.Socket().TlsErrorText(), "");
    EXPECT_EQ(h.client.Socket().TlsPeerFingerprint(), TestCertificate::local().fingerprint());
    EXPECT_EQ(h.client.LastResponse(), "200 news.test ready");

    h.client.Group("alt.test");
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(h.client.ArticleLast(), 3);
    h.client.ArticleByNumber(1, &h.stream);
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(h.lastResponseAtDone, "220 1 <big@test> article");
    EXPECT_TRUE(h.stream.data() == stored(lines));
    h.client.Quit();
    ASSERT_TRUE(h.waitForNextDone());
    server.verify();
}

// COMPRESS DEFLATE sits above TLS: the compressed bytes are what is encrypted.
TEST(TlsSocket, CompressionAboveTls)
{
    const auto trusted = TestCertificate::local().trustInThisProcess();
    const std::vector<std::string> lines = articleLines(5000);
    FakeNewsServer server(localTls, {send("200 ready"), expect("COMPRESS DEFLATE"), send("206 Compression active"),
                                     startCompression(), expect("ARTICLE 1"), sendBlock("220 1 <c@test>", lines)});
    NntpHarness h(server.portText());
    enableTls(h);
    ASSERT_TRUE(h.connect());
    h.client.Compress();
    ASSERT_TRUE(h.waitForNextDone());
    ASSERT_TRUE(h.client.Socket().TlsActive() && h.client.Socket().CompressionActive());
    h.client.ArticleByNumber(1, &h.stream);
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_TRUE(h.stream.data() == stored(lines));
    server.verify();
}

TEST(TlsSocket, LargePostIsPacedByDataSentOverTls)
{
    const auto trusted = TestCertificate::local().trustInThisProcess();
    std::vector<std::string> lines = articleLines(20000);  // about 1.2 MB
    std::string wire;
    for (const std::string& line : lines)
        wire += (line.empty() || line[0] != '.' ? "" : ".") + line + "\r\n";
    lines.push_back("");  // the terminator starts with its own CR LF
    FakeNewsServer server(localTls, {
        send("200 ready"),
        expect("POST"),
        send("340 send it"),
        expectBlock(lines),
        send("240 posted"),
    });
    NntpHarness h(server.portText());
    enableTls(h);
    ASSERT_TRUE(h.connect());
    MemoryStream article(wire);
    h.client.Post(&article);
    ASSERT_TRUE(h.waitForNextDone(10000));
    EXPECT_EQ(h.lastType, nntpPost);
    EXPECT_EQ(h.lastError, 0);
    server.verify();
}

TEST(TlsSocket, ServerNameDefaultsToTheHostLookedUp)
{
    const auto trusted = TestCertificate::local().trustInThisProcess();
    FakeNewsServer server(localTls, {send("200 ready")});
    NntpHarness h(server.portText());
    h.client.SetHost("localhost");  // named in the certificate, looked up to 127.0.0.1
    enableTls(h);
    ASSERT_TRUE(h.connect());
    EXPECT_EQ(h.take(), Events{"connected 0"});
    server.verify();
}

// ---- certificates ----------------------------------------------------------------------------

TEST(TlsSocket, UntrustedCertificateIsRefusedThenAcceptedOnceTheUserAllowedIt)
{
    FakeNewsServer server(localTls, {
        expectClose(),
        send("200 ready"),
        expect("QUIT"),
        send("205 bye"),
    });
    NntpHarness h(server.portText());
    enableTls(h);
    h.call([&] { h.client.Connect(); });
    ASSERT_TRUE(h.waitForNextDone());
    pumpFor(50);
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 2 30001"}));
    EXPECT_EQ(h.client.State(), nntpNotConnected);
    EXPECT_FALSE(h.client.Socket().TlsActive());
    const std::string text = h.client.Socket().TlsErrorText();
    EXPECT_TRUE(startsWith(text, "certificate not trusted: ")) << text;
    // What the window asks about, and what it remembers when the user says yes.
    const std::string shown = h.client.Socket().TlsPeerFingerprint();
    EXPECT_EQ(shown, TestCertificate::local().fingerprint());
    EXPECT_NE(h.client.Socket().TlsPeerSubject().find("127.0.0.1"), std::string::npos);

    h.client.Socket().SetTlsAcceptedFingerprint(shown);
    ASSERT_TRUE(h.connect());
    EXPECT_EQ(h.take(), Events{"connected 0"});
    EXPECT_EQ(h.client.Socket().TlsErrorText(), "");
    h.client.Quit();
    ASSERT_TRUE(h.waitForNextDone());
    server.verify();
}

TEST(TlsSocket, CertificateForAnotherNameIsRefusedEvenWhenTrusted)
{
    const TestCertificate elsewhere({"news.elsewhere.test"});
    const auto trusted = elsewhere.trustInThisProcess();
    FakeNewsServer server(FakeNewsServer::Tls{elsewhere}, {expectClose()});
    NntpHarness h(server.portText());
    enableTls(h, elsewhere.fingerprint());
    h.call([&] { h.client.Connect(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, TlsSession::NameMismatch);
    EXPECT_EQ(h.client.Socket().TlsErrorText(), "name mismatch: the certificate is not for 127.0.0.1");
    server.verify();
}

// ---- servers that get TLS wrong ------------------------------------------------------------

TEST(TlsSocket, ServerThatDropsOrResetsMidHandshakeEndsTheConnect)
{
    for (const FakeStep& end : {close(), reset()}) {
        FakeNewsServer server({silence(50), end});  // takes the client's hello, answers nothing
        NntpHarness h(server.portText());
        enableTls(h);
        h.call([&] { h.client.Connect(); });
        ASSERT_TRUE(h.waitForNextDone());
        pumpFor(50);
        EXPECT_EQ(h.take(), (Events{"closed 0", "done 2 30003"}));
        EXPECT_EQ(h.client.State(), nntpNotConnected);
        const std::string text = h.client.Socket().TlsErrorText();
        EXPECT_TRUE(startsWith(text, "handshake failed: ")) << text;
        EXPECT_EQ(h.client.Socket().TlsPeerFingerprint(), "");
    }
}

TEST(TlsSocket, PlainTextServerWhileTlsIsOnFailsTheHandshakeAndGetsNoCommand)
{
    std::vector<std::string> seen;
    FakeNewsServer server(
        [](FakeConnection&) { return FakeNewsServer::Script{send("200 news.test ready")}; },
        [](const std::string&, FakeConnection&) { return FakeNewsServer::Script{}; });
    NntpHarness h(server.portText());
    h.client.SetUserName("user");
    enableTls(h);
    h.call([&] { h.client.Connect(); });
    ASSERT_TRUE(h.waitForNextDone());
    pumpFor(50);
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 2 30003"}));
    const std::string text = h.client.Socket().TlsErrorText();
    EXPECT_TRUE(startsWith(text, "handshake failed: ")) << text;
    EXPECT_GT(text.size(), std::string("handshake failed: ").size());
    for (const std::string& line : server.received())
        EXPECT_EQ(line.find("AUTHINFO"), std::string::npos) << line;
}

TEST(TlsSocket, TlsServerWhileTlsIsOffGivesNoBannerAndAbortsCleanly)
{
    FakeNewsServer server(localTls, {send("200 never seen")});
    NntpHarness h(server.portText());
    h.call([&] { h.client.Connect(); });
    pumpFor(300);
    EXPECT_EQ(h.take(), Events{});  // the server waits for a hello, the client for a banner
    EXPECT_EQ(h.client.State(), nntpWaitingBanner);
    EXPECT_FALSE(h.client.Socket().TlsActive());
    h.client.Abort();  // what the session's watchdog does
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 18 0"}));
    EXPECT_EQ(h.client.State(), nntpNotConnected);
}

TEST(TlsSocket, BrokenRecordAfterTheHandshakeEndsTheConnectionWithItsReason)
{
    std::uint16_t port = 0;
    const int listener = LoopbackListener::open(port, 1);
    std::thread server([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        TlsServerStream tls(fd, TestCertificate::local());
        if (tls.handshake()) {
            tls.send("200 ready\r\n", 11);
            const char garbage[] = "\x17\x03\x03\x00\x20this is no record of this session";
            ::send(fd, garbage, sizeof garbage - 1, MSG_NOSIGNAL);  // past the session, on the socket
            char buffer[256];
            while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
            }
        }
        ::close(fd);
    });
    NntpHarness h(std::to_string(port));
    enableTls(h, TestCertificate::local().fingerprint());
    ASSERT_TRUE(h.connect());
    ASSERT_TRUE(h.waitForDone(1));  // the close ends the connect request, as any close does
    EXPECT_EQ(h.take(), (Events{"connected 0", "closed 0", "done 2 0"}));
    EXPECT_EQ(h.client.State(), nntpNotConnected);
    EXPECT_EQ(h.client.Socket().TlsErrorText().rfind("TLS connection failed: ", 0), 0u)
        << h.client.Socket().TlsErrorText();
    server.join();
    ::close(listener);
}

TEST(TlsSocket, CloseSendsTheCloseNoticeAndTheSocketsAbortDoesNot)
{
    for (const bool orderly : {true, false}) {
        std::uint16_t port = 0;
        const int listener = LoopbackListener::open(port, 1);
        bool noticed = !orderly;
        std::thread server([listener, &noticed] {
            const int fd = ::accept(listener, nullptr, nullptr);
            TlsServerStream tls(fd, TestCertificate::local());
            if (tls.handshake() && tls.send("200 ready\r\n", 11)) {
                char buffer[256];
                while (tls.receive(buffer, sizeof buffer) > 0) {
                }
                noticed = tls.closeNoticed();
            }
            ::close(fd);
        });
        NntpHarness h(std::to_string(port));
        enableTls(h, TestCertificate::local().fingerprint());
        ASSERT_TRUE(h.connect());
        ASSERT_TRUE(h.client.Socket().TlsActive());
        if (orderly)
            h.client.Abort();  // the client's Abort closes its socket in order
        else
            h.client.Socket().Abort();
        server.join();
        ::close(listener);
        EXPECT_EQ(noticed, orderly) << (orderly ? "Close" : "Abort");
    }
}

TEST(TlsSocket, TlsThroughSocksIsRefusedRatherThanSentInPlain)
{
    AsyncSocket socket;
    socket.SetTlsEnabled(true);
    socket.SetSocksServer("127.0.0.1");
    socket.SetAddr("127.0.0.1");
    socket.SetPort("563");
    EXPECT_THROW(socket.Connect(), SocketException);
    EXPECT_EQ(socket.State(), wsClosed);
}

} // namespace nimbra::test
