// The demo news server: its host serves connections side by side, and the executable
// listens where it is told, asks for AUTHINFO when given credentials and ends on SIGTERM.
#include "tests/e2e/DemoServer.h"

#include <QProcess>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

// A client line by line on 127.0.0.1; every wait ends after 5 s.
class LineClient {
public:
    explicit LineClient(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~LineClient() { ::close(fd_); }

    // The next line without its CR LF; empty when none came.
    std::string readLine()
    {
        std::size_t end;
        while (connected_ && (end = input_.find("\r\n")) == std::string::npos) {
            pollfd ready{fd_, POLLIN, 0};
            char buffer[4096];
            const ssize_t count = ::poll(&ready, 1, 5000) == 1 ? ::recv(fd_, buffer, sizeof buffer, 0) : 0;
            if (count <= 0)
                return {};
            input_.append(buffer, static_cast<std::size_t>(count));
        }
        if (!connected_)
            return {};
        std::string line = input_.substr(0, end);
        input_.erase(0, end + 2);
        return line;
    }

    std::string command(const std::string& line)
    {
        const std::string bytes = line + "\r\n";
        if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
            return {};
        return readLine();
    }

private:
    int fd_;
    bool connected_ = false;
    std::string input_;
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
    EXPECT_EQ(busy.command("GROUP demo.binaries.pictures.uuencode").substr(0, 8), "211 8 1 ");
    EXPECT_EQ(busy.command("STAT 2"), "423 No article with that number");
    EXPECT_EQ(busy.command("QUIT").substr(0, 3), "205");
    EXPECT_EQ(idle.command("MODE READER"), "200 Posting allowed");
}

TEST(DemoServer, ExecutableAsksForCredentialsAndEndsOnTerminate)
{
    int holder = -1;
    const std::uint16_t port = freePort(holder, false);
    QProcess process;
    process.start(QStringLiteral(NIMBRA_DEMO_SERVER),
                  {QStringLiteral("--port"), QString::number(port), QStringLiteral("--user"), QStringLiteral("ann"),
                   QStringLiteral("--password"), QStringLiteral("secret")});
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(process.waitForReadyRead(20000)) << process.readAllStandardError().toStdString();
    EXPECT_EQ(process.readLine().trimmed().toStdString(),
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

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST(DemoServer, ExecutableRefusesAPortInUse)
{
    int taken = -1;
    const std::uint16_t port = freePort(taken, true);
    QProcess process;
    process.start(QStringLiteral(NIMBRA_DEMO_SERVER), {QStringLiteral("--port"), QString::number(port)});
    ASSERT_TRUE(process.waitForFinished(20000));
    ::close(taken);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_NE(process.readAllStandardError().indexOf("cannot listen"), -1);
}

} // namespace
} // namespace nimbra::test
