// The demo news server: its host serves connections side by side, in plain text or over TLS,
// and the executable listens where it is told, asks for AUTHINFO when given credentials,
// serves TLS with the certificate it prints and writes, and ends on SIGTERM.
#include "tests/e2e/DemoServer.h"
#include "tests/e2e/DemoServerProcess.h"
#include "tests/support/TestCertificate.h"
#include "tests/support/TestEnvironment.h"

#include "grouplist/TlsSocketHandler.h"

#include <QFile>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>

namespace nimbra::test {
namespace {

// A client line by line on 127.0.0.1, in plain text or over TLS (the handshake in the
// constructor; a failure throws); every wait ends after 5 s.
class LineClient {
public:
    explicit LineClient(std::uint16_t port) : LineClient(port, std::make_unique<SocketHandler>()) {}

    // Trusts what this process trusts, and acceptedFingerprint.
    static std::unique_ptr<LineClient> overTls(std::uint16_t port, const std::string& acceptedFingerprint = {})
    {
        auto tls = std::make_unique<TlsSocketHandler>("127.0.0.1", acceptedFingerprint);
        TlsSocketHandler& handshaking = *tls;
        auto client = std::unique_ptr<LineClient>(new LineClient(port, std::move(tls)));
        while (!handshaking.handshakeStep()) {
            if (!handshaking.readable(5000))
                throw std::runtime_error("no answer to the TLS handshake for 5 s");
            handshaking.pullInput();
        }
        client->fingerprint_ = handshaking.peerFingerprint();
        return client;
    }

    // The certificate the server showed, over TLS.
    const std::string& fingerprint() const { return fingerprint_; }

    // The next line without its CR LF; empty when none came.
    std::string readLine()
    {
        std::size_t end;
        while ((end = input_.find("\r\n")) == std::string::npos) {
            char buffer[4096];
            const long count = socket_->readable(5000) ? socket_->receive(buffer, sizeof buffer) : 0;
            if (count <= 0)
                return {};
            input_.append(buffer, static_cast<std::size_t>(count));
        }
        std::string line = input_.substr(0, end);
        input_.erase(0, end + 2);
        return line;
    }

    std::string command(const std::string& line)
    {
        const std::string bytes = line + "\r\n";
        if (socket_->send(bytes.data(), bytes.size()) != static_cast<long>(bytes.size()))
            return {};
        return readLine();
    }

private:
    LineClient(std::uint16_t port, std::unique_ptr<SocketHandler> socket) : socket_(std::move(socket))
    {
        socket_->allocate();
        socket_->setPeer("127.0.0.1", port);
        socket_->connectDirect();
    }

    std::unique_ptr<SocketHandler> socket_;
    std::string input_;
    std::string fingerprint_;
};

// A port nobody listens on at the moment; held while holder is alive.
std::uint16_t freePort(int& holder, bool keepListening)
{
    holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (keepListening)
        ::listen(holder, 1);
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    if (!keepListening)
        ::close(holder);
    return ntohs(address.sin_port);
}

TEST(DemoServer, AnIdleClientHoldsUpNoOther)
{
    DemoServer server;
    server.start();
    LineClient idle(server.port()), busy(server.port());
    ASSERT_EQ(idle.readLine().substr(0, 3), "200");
    ASSERT_EQ(busy.readLine().substr(0, 3), "200");
    EXPECT_EQ(busy.command("GROUP demo.binaries.empty"), "211 0 0 0 demo.binaries.empty");
    // The first numbers of the uuencode group have expired: inside the range, no article.
    EXPECT_EQ(busy.command("GROUP demo.binaries.pictures.uuencode").substr(0, 9), "211 16 1 ");
    EXPECT_EQ(busy.command("STAT 2"), "423 No article with that number");
    EXPECT_EQ(busy.command("QUIT").substr(0, 3), "205");
    EXPECT_EQ(idle.command("MODE READER"), "200 Posting allowed");
}

TEST(DemoServer, OverTlsAClientThatFailsTheHandshakeIsClosedAndHoldsUpNoOther)
{
    const ServerCertificate certificate({"127.0.0.1"});
    auto server = std::make_unique<DemoServer>();
    server->start(&certificate);
    // Connected, and never says a word: it sits in its handshake until the server stops.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server->port());
    ASSERT_EQ(::connect(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    LineClient plain(server->port());
    EXPECT_EQ(plain.command("MODE READER"), "") << "a plain-text client got an answer over TLS";
    EXPECT_THROW(LineClient::overTls(server->port()), std::exception) << "an untrusted certificate was accepted";

    const auto client = LineClient::overTls(server->port(), certificate.fingerprint());
    EXPECT_EQ(client->fingerprint(), certificate.fingerprint());
    EXPECT_EQ(client->readLine().substr(0, 3), "200");
    EXPECT_EQ(client->command("GROUP demo.binaries.empty"), "211 0 0 0 demo.binaries.empty");
    EXPECT_EQ(client->command("QUIT").substr(0, 3), "205");
    EXPECT_EQ(server->connections(), 4);
    // No command came through the handshakes that failed.
    EXPECT_EQ(server->received().size(), 2u);

    // Stopping ends the silent client's connection too; a hang here is the fault.
    server.reset();
    pollfd ended{silent, POLLIN, 0};
    char byte;
    EXPECT_EQ(::poll(&ended, 1, 5000), 1);
    EXPECT_LE(::recv(silent, &byte, 1, MSG_DONTWAIT), 0);
    ::close(silent);
}

TEST(DemoServer, ExecutableAsksForCredentialsAndEndsOnTerminate)
{
    int holder = -1;
    const std::uint16_t port = freePort(holder, false);
    DemoServerProcess server({"--port", std::to_string(port), "--user", "ann", "--password", "secret"});
    ASSERT_TRUE(server.started()) << server.errors();
    EXPECT_EQ(server.startLines().front(),
              "Nimbra demo news server on 127.0.0.1:" + std::to_string(port) + " (AUTHINFO required)");

    {
        LineClient client(port);
        EXPECT_EQ(client.readLine().substr(0, 3), "200");
        EXPECT_EQ(client.command("GROUP demo.binaries.large"), "480 Authentication required");
        EXPECT_EQ(client.command("AUTHINFO USER ann"), "381 Password required");
        EXPECT_EQ(client.command("AUTHINFO PASS wrong"), "481 Authentication failed");
        EXPECT_EQ(client.command("AUTHINFO USER ann"), "381 Password required");
        EXPECT_EQ(client.command("AUTHINFO PASS secret"), "281 Authentication accepted");
        EXPECT_EQ(client.command("GROUP demo.binaries.large"), "211 2 1 2 demo.binaries.large");
    }

    EXPECT_EQ(server.terminate(), 0);
}

TEST(DemoServer, ExecutableOverTlsServesTheCertificateItPrintsAndWrites)
{
    const std::string file = TestEnvironment::makeFolder("demo-certificate") + "demo-server.pem";
    std::ofstream(file) << "an older certificate\n";
    DemoServerProcess server({"--port", "0", "--tls", "--write-certificate", file});
    ASSERT_TRUE(server.started()) << server.errors();
    EXPECT_EQ(server.startLines().front(), "Nimbra demo news server on 127.0.0.1:" + server.portText() + " over TLS");
    const std::string fingerprint = server.startValue("TLS certificate SHA-256: ");
    EXPECT_EQ(fingerprint.size(), 64u);
    EXPECT_EQ(server.startValue("Certificate written to "), file);
    EXPECT_NE(std::find(server.startLines().begin(), server.startLines().end(), "demo.binaries.pictures.yenc"),
              server.startLines().end());

    {
        // Trusting the file written, and nothing else, is enough to verify the server.
        const TestCertificate::TrustScope trusted(file);
        const auto client = LineClient::overTls(server.port());
        EXPECT_EQ(client->fingerprint(), fingerprint);
        EXPECT_EQ(client->readLine().substr(0, 3), "200");
        EXPECT_EQ(client->command("GROUP demo.binaries.empty"), "211 0 0 0 demo.binaries.empty");
    }
    QFile written(QString::fromStdString(file));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray pem = written.readAll();
    EXPECT_TRUE(pem.startsWith("-----BEGIN CERTIFICATE-----")) << pem.left(40).toStdString();
    EXPECT_EQ(pem.indexOf("PRIVATE KEY"), -1) << "the key was written";
    EXPECT_EQ(server.terminate(), 0);
}

TEST(DemoServer, ExecutableRefusesACertificateFileItCannotWriteOrDoesNotServe)
{
    DemoServerProcess plain({"--port", "0", "--write-certificate", TestEnvironment::makeFolder("plain-certificate") + "x.pem"});
    EXPECT_FALSE(plain.started());
    EXPECT_EQ(plain.terminate(), 2);
    EXPECT_NE(plain.errors().find("--write-certificate goes with --tls"), std::string::npos);

    const std::string nowhere = TestEnvironment::makeFolder("unwritable-certificate") + "no-such-folder/x.pem";
    DemoServerProcess unwritable({"--port", "0", "--tls", "--write-certificate", nowhere});
    EXPECT_FALSE(unwritable.started());
    EXPECT_EQ(unwritable.terminate(), 1);
    EXPECT_NE(unwritable.errors().find("cannot write the certificate to " + nowhere), std::string::npos);
}

TEST(DemoServer, ExecutableRefusesAPortInUse)
{
    int taken = -1;
    const std::uint16_t port = freePort(taken, true);
    DemoServerProcess server({"--port", std::to_string(port)});
    EXPECT_FALSE(server.started());
    ::close(taken);
    EXPECT_EQ(server.terminate(), 1);
    EXPECT_NE(server.errors().find("cannot listen"), std::string::npos);
}

} // namespace
} // namespace nimbra::test
