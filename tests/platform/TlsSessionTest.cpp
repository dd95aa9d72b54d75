// The TLS client session against a small TLS server thread on 127.0.0.1. The client side is
// driven the blocking way here (poll, recv, send); the socket tests drive it by events.
#include "platform/TlsSession.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/TestCertificate.h"
#include "tools/newsmodel/TlsServerStream.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <thread>

using namespace nimbra;
using nimbra::test::LoopbackListener;
using nimbra::test::TestCertificate;
using nimbra::test::TlsServerStream;

namespace {

// Accepts one connection on 127.0.0.1 and hands its socket to serve() on a thread.
class OneShotServer {
public:
    explicit OneShotServer(std::function<void(int fd)> serve)
    {
        listener_ = LoopbackListener::open(port_, 1);
        thread_ = std::thread([this, serve] {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd >= 0) {
                serve(fd);
                ::close(fd);
            }
        });
    }
    ~OneShotServer()
    {
        thread_.join();
        ::close(listener_);
    }
    std::uint16_t port() const { return port_; }

private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// Serves TLS with the given certificate: greets, then echoes every line back in upper case
// until the client closes.
std::function<void(int)> echoServer(const TestCertificate& certificate, std::string* sniSeen = nullptr)
{
    return [&certificate, sniSeen](int fd) {
        TlsServerStream tls(fd, certificate);
        if (!tls.handshake())
            return;
        if (sniSeen)
            *sniSeen = tls.serverName();
        tls.send("200 hello\r\n", 11);
        char buffer[65536];
        long count;
        while ((count = tls.receive(buffer, sizeof buffer)) > 0) {
            for (long i = 0; i < count; ++i)
                buffer[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(buffer[i])));
            tls.send(buffer, static_cast<std::size_t>(count));
        }
    };
}

// A client connection to the server, moving the session's bytes over a blocking socket.
class Client {
public:
    Client(std::uint16_t port, const std::string& name, const std::string& accepted = {}) : session(name, accepted)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~Client() { ::close(fd_); }

    void flush()
    {
        std::string out;
        session.takeOutput(out);
        if (!out.empty())
            ::send(fd_, out.data(), out.size(), MSG_NOSIGNAL);
    }

    // Moves what the server sent into the session; false after the server's close.
    bool pull()
    {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, 5000) <= 0) {
            ADD_FAILURE() << "the server sent nothing for 5 s";
            session.inputEnded();
            return false;
        }
        char buffer[65536];
        const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
        if (count <= 0) {
            session.inputEnded();
            return false;
        }
        session.putInput(buffer, static_cast<std::size_t>(count));
        return true;
    }

    // Appends what the server has sent by now, without waiting.
    void takeWhatCame(std::string& text)
    {
        char buffer[4096];
        for (;;) {
            const int got = session.read(buffer, sizeof buffer);
            if (got > 0) {
                text.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            pollfd ready{fd_, POLLIN, 0};
            if (got != -1 || ::poll(&ready, 1, 0) <= 0 || !pull())
                return;
        }
    }

    TlsSession::Progress handshake()
    {
        for (;;) {
            const TlsSession::Progress progress = session.handshake();
            flush();
            if (progress != TlsSession::NeedInput)
                return progress;
            pull();
        }
    }

    // Reads until count bytes came, or the session ended.
    std::string read(std::size_t count)
    {
        std::string text;
        char buffer[4096];
        while (text.size() < count) {
            const int got = session.read(buffer, sizeof buffer);
            if (got > 0)
                text.append(buffer, static_cast<std::size_t>(got));
            else if (got == -1)
                pull();
            else
                break;
        }
        return text;
    }

    void closeSocket() { ::shutdown(fd_, SHUT_RDWR); }

    TlsSession session;

private:
    int fd_ = -1;
};

bool startsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

// ---- verification -----------------------------------------------------------------------

TEST(TlsSessionVerification, TrustedCertificateForTheAddressIsAccepted)
{
    const TestCertificate& certificate = TestCertificate::local();
    const auto trusted = certificate.trustInThisProcess();
    std::string sni = "unset";
    {
        OneShotServer server(echoServer(certificate, &sni));
        Client client(server.port(), "127.0.0.1");
        ASSERT_EQ(client.handshake(), TlsSession::Done) << client.session.errorText();
        EXPECT_TRUE(client.session.established());
        EXPECT_EQ(client.session.error(), 0);
        EXPECT_EQ(client.session.peerFingerprint(), certificate.fingerprint());
        EXPECT_NE(client.session.peerSubject().find("CN=127.0.0.1"), std::string::npos);
        EXPECT_EQ(client.read(11), "200 hello\r\n");
        client.closeSocket();
    }
    EXPECT_EQ(sni, "");  // an address is never sent as a server name
}

TEST(TlsSessionVerification, HostNameIsSentAsServerNameAndChecked)
{
    const TestCertificate& certificate = TestCertificate::local();
    const auto trusted = certificate.trustInThisProcess();
    std::string sni;
    {
        OneShotServer server(echoServer(certificate, &sni));
        Client client(server.port(), "localhost");
        ASSERT_EQ(client.handshake(), TlsSession::Done) << client.session.errorText();
        EXPECT_EQ(client.read(11), "200 hello\r\n");
        client.closeSocket();
    }
    EXPECT_EQ(sni, "localhost");
}

TEST(TlsSessionVerification, SelfSignedCertificateIsRefusedWithItsReason)
{
    const TestCertificate& certificate = TestCertificate::local();  // not trusted here
    OneShotServer server(echoServer(certificate));
    Client client(server.port(), "127.0.0.1");
    EXPECT_EQ(client.handshake(), TlsSession::Failed);
    EXPECT_EQ(client.session.error(), TlsSession::CertificateNotTrusted);
    EXPECT_TRUE(startsWith(client.session.errorText(), "certificate not trusted: ")) << client.session.errorText();
    EXPECT_NE(client.session.errorText().find("self"), std::string::npos) << client.session.errorText();
    // What the user is asked about, and what is remembered when they accept it.
    EXPECT_EQ(client.session.peerFingerprint(), certificate.fingerprint());
    EXPECT_FALSE(client.session.established());
    char byte;
    EXPECT_EQ(client.session.read(&byte, 1), -2);
    EXPECT_EQ(client.session.write("x", 1), -2);
    client.closeSocket();
}

TEST(TlsSessionVerification, AcceptedFingerprintLetsThatCertificateAlone)
{
    const TestCertificate& certificate = TestCertificate::local();
    {
        OneShotServer server(echoServer(certificate));
        Client client(server.port(), "127.0.0.1", certificate.fingerprint());
        ASSERT_EQ(client.handshake(), TlsSession::Done) << client.session.errorText();
        EXPECT_EQ(client.read(11), "200 hello\r\n");
        client.closeSocket();
    }
    // Another certificate for the same server is a new question, not silently accepted.
    const TestCertificate other({"127.0.0.1"});
    OneShotServer server(echoServer(other));
    Client client(server.port(), "127.0.0.1", certificate.fingerprint());
    EXPECT_EQ(client.handshake(), TlsSession::Failed);
    EXPECT_EQ(client.session.error(), TlsSession::CertificateNotTrusted);
    EXPECT_EQ(client.session.peerFingerprint(), other.fingerprint());
    client.closeSocket();
}

TEST(TlsSessionVerification, NameMismatchIsRefusedEvenForATrustedOrAcceptedCertificate)
{
    const TestCertificate certificate({"news.example.test"});
    const auto trusted = certificate.trustInThisProcess();
    for (const std::string& name : {std::string("127.0.0.1"), std::string("other.example.test"),
                                    std::string("example.test")}) {
        OneShotServer server(echoServer(certificate));
        Client client(server.port(), name, certificate.fingerprint());
        EXPECT_EQ(client.handshake(), TlsSession::Failed) << name;
        EXPECT_EQ(client.session.error(), TlsSession::NameMismatch) << name;
        EXPECT_EQ(client.session.errorText(), "name mismatch: the certificate is not for " + name);
        client.closeSocket();
    }
}

TEST(TlsSessionVerification, EmptyServerNameIsNeverAccepted)
{
    const TestCertificate& certificate = TestCertificate::local();
    const auto trusted = certificate.trustInThisProcess();
    OneShotServer server(echoServer(certificate));
    Client client(server.port(), "");
    EXPECT_EQ(client.handshake(), TlsSession::Failed);
    EXPECT_EQ(client.session.error(), TlsSession::NameMismatch);
    client.closeSocket();
}

// ---- servers that do not speak TLS properly ------------------------------------------------

TEST(TlsSessionHandshake, ServerThatDropsMidHandshakeFails)
{
    OneShotServer server([](int fd) {
        char buffer[64];
        ::recv(fd, buffer, sizeof buffer, 0);  // a piece of the client's hello, then gone
    });
    Client client(server.port(), "127.0.0.1");
    EXPECT_EQ(client.handshake(), TlsSession::Failed);
    EXPECT_EQ(client.session.error(), TlsSession::HandshakeFailed);
    EXPECT_TRUE(startsWith(client.session.errorText(), "handshake failed: ")) << client.session.errorText();
    EXPECT_EQ(client.session.peerFingerprint(), "");
}

TEST(TlsSessionHandshake, PlainTextServerFailsTheHandshakeWithTheLibrarysReason)
{
    OneShotServer server([](int fd) {
        const char banner[] = "200 news.test ready, posting allowed\r\n";
        ::send(fd, banner, sizeof banner - 1, MSG_NOSIGNAL);
        char buffer[512];
        while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
    });
    Client client(server.port(), "127.0.0.1");
    EXPECT_EQ(client.handshake(), TlsSession::Failed);
    EXPECT_EQ(client.session.error(), TlsSession::HandshakeFailed);
    EXPECT_TRUE(startsWith(client.session.errorText(), "handshake failed: ")) << client.session.errorText();
    EXPECT_GT(client.session.errorText().size(), std::string("handshake failed: ").size());
    client.closeSocket();
}

// ---- data ----------------------------------------------------------------------------------

TEST(TlsSessionData, LargeTransfersCrossManyRecordsIntact)
{
    const TestCertificate& certificate = TestCertificate::local();
    OneShotServer server(echoServer(certificate));
    Client client(server.port(), "127.0.0.1", certificate.fingerprint());
    ASSERT_EQ(client.handshake(), TlsSession::Done) << client.session.errorText();
    ASSERT_EQ(client.read(11), "200 hello\r\n");
    std::string text;
    for (int i = 0; text.size() < 300000; ++i)
        text += "line " + std::to_string(i) + " of the article\r\n";
    // One thread drives the session, as the program does: a piece written, then what has come
    // back taken, so neither side's socket buffer fills while the other waits.
    std::string echoed;
    for (std::size_t sent = 0; sent < text.size();) {
        const int taken = client.session.write(text.data() + sent, static_cast<int>(std::min<std::size_t>(16384, text.size() - sent)));
        ASSERT_GT(taken, 0) << client.session.errorText();
        sent += static_cast<std::size_t>(taken);
        client.flush();
        client.takeWhatCame(echoed);
    }
    echoed += client.read(text.size() - echoed.size());
    std::string upper = text;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(echoed.size(), upper.size());
    EXPECT_TRUE(echoed == upper);
    client.closeSocket();
}

TEST(TlsSessionData, ReadsEndAtCloseNoticeAndAtAPlainClose)
{
    const TestCertificate& certificate = TestCertificate::local();
    for (const bool notice : {true, false}) {
        OneShotServer server([&certificate, notice](int fd) {
            TlsServerStream tls(fd, certificate);
            if (!tls.handshake())
                return;
            tls.send("205 bye\r\n", 9);
            if (notice)
                tls.shutdown();
            ::shutdown(fd, SHUT_WR);
        });
        Client client(server.port(), "127.0.0.1", certificate.fingerprint());
        ASSERT_EQ(client.handshake(), TlsSession::Done) << client.session.errorText();
        EXPECT_EQ(client.read(100), "205 bye\r\n") << notice;
        char byte;
        EXPECT_EQ(client.session.read(&byte, 1), 0) << notice;
        EXPECT_EQ(client.session.error(), 0) << client.session.errorText();
    }
}

TEST(TlsSessionData, DescribeGivesTheFixedTexts)
{
    EXPECT_STREQ(TlsSession::describe(TlsSession::CertificateNotTrusted), "certificate not trusted");
    EXPECT_STREQ(TlsSession::describe(TlsSession::NameMismatch), "name mismatch");
    EXPECT_STREQ(TlsSession::describe(TlsSession::HandshakeFailed), "handshake failed");
    EXPECT_STREQ(TlsSession::describe(10061), "");
}
