#include "grouplist/ConnectionErrors.h"
#include "grouplist/TcpClient.h"
#include "grouplist/WaitPump.h"
#include "tests/grouplist/StalledListener.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// A loopback port that is bound but not listening, so connects to it are refused.
class RefusingPort {
public:
    RefusingPort()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(fd_); }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

void expectSocketError(TcpClient& client, int timeout, int code, const char* text)
{
    try {
        client.OpenConnection(timeout);
        FAIL() << "nothing raised";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.code(), code);
        EXPECT_EQ(std::string(error.what()), "Socket Error # " + std::to_string(code) + "\r\n" + text);
    }
    EXPECT_FALSE(client.IsConnected());
}

} // namespace

TEST(TcpConnect, RefusedConnectGives10061DirectAndThreaded)
{
    RefusingPort refusing;
    TcpClient client;
    client.Host = "127.0.0.1";
    client.Port = refusing.port();
    expectSocketError(client, -1, 10061, "Connection refused.");
    expectSocketError(client, 5000, 10061, "Connection refused.");
    WaitPump pump;
    expectSocketError(client, -1, 10061, "Connection refused."); // threaded, 120 s limit
}

TEST(TcpConnect, UnknownHostGives11001)
{
    TcpClient client;
    client.Host = "no-such-news-host.invalid";
    client.Port = 119;
    expectSocketError(client, -1, 11001, "Host not found.");
}

TEST(TcpConnect, LocalhostInAnyCaseNeedsNoLookup)
{
    for (const char* host : {"LOCALHOST", "localhost", "LocalHost"}) {
        FakeNewsServer server({send("200 hi")});
        TcpClient client;
        std::string connecting;
        client.OnStatus = [&](WorkComponent&, ConnStatus status, const std::string& text) {
            if (status == hsConnecting)
                connecting = text;
        };
        client.Host = host;
        client.Port = server.port();
        client.OpenConnection();
        EXPECT_EQ(connecting, "Connecting to 127.0.0.1.") << host;
        EXPECT_EQ(client.ReadReply({200}), 200) << host;
    }
}

TEST(TcpConnect, DottedAddressIsNotResolved)
{
    FakeNewsServer server({send("200 hi")});
    TcpClient client;
    bool resolving = false;
    client.OnStatus = [&](WorkComponent&, ConnStatus status, const std::string&) { resolving |= status == hsResolving; };
    client.Host = "127.000.000.001";
    client.Port = server.port();
    client.OpenConnection();
    EXPECT_FALSE(resolving);
    EXPECT_EQ(client.ReadReply({200}), 200);
}

TEST(TcpConnect, ConnectThatNeverCompletesTimesOut)
{
    StalledListener listener;
    ASSERT_TRUE(listener.stalled()) << "this system answered every connect to a full listener";
    WaitPump pump;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    TcpClient client;
    client.Host = "127.0.0.1";
    client.Port = listener.port();
    try {
        client.OpenConnection(700);
        FAIL() << "connected to a listener that never accepts";
    } catch (const ConnectTimeoutError& error) {
        EXPECT_STREQ(error.what(), "Connect timed out.");
    }
    EXPECT_GE(ticks, 3); // the event loop ran while it waited
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpConnect, ClosingFromAHandlerEndsAPendingConnect)
{
    StalledListener listener;
    ASSERT_TRUE(listener.stalled());
    WaitPump pump;
    TcpClient client;
    client.Host = "127.0.0.1";
    client.Port = listener.port();
    bool closed = false;
    QTimer::singleShot(200, [&] {
        closed = true;
        client.CloseConnection();
    });
    EXPECT_THROW(client.OpenConnection(-2), ConnClosedGracefullyError); // no limit of its own
    EXPECT_TRUE(closed);
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpConnectWaits, PendingReadKeepsTheEventLoopRunning)
{
    FakeNewsServer server({silence(1200), send("200 late")});
    WaitPump pump; // pumps after every 250 ms slice
    TcpClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.OpenConnection();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(100);
    EXPECT_EQ(client.ReadLine(), "200 late");
    EXPECT_GE(ticks, 3);
}

TEST(TcpConnectWaits, ClosingFromAHandlerEndsAPendingRead)
{
    FakeNewsServer server({send("200 hi"), silence(5000)});
    WaitPump pump;
    TcpClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.OpenConnection();
    EXPECT_EQ(client.ReadLine(), "200 hi");
    bool closed = false;
    QTimer::singleShot(200, [&] {
        closed = true;
        client.CloseConnection();
    });
    EXPECT_THROW(client.ReadLine(), ConnClosedGracefullyError);
    EXPECT_TRUE(closed); // ended by the close, inside the server's silence
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THROW(client.WriteLine("QUIT"), NotConnectedError);
}

TEST(TcpConnectWaits, WithoutAPumpAReadDoesNotProcessEvents)
{
    FakeNewsServer server({silence(300), send("200 late")});
    TcpClient client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.OpenConnection();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    EXPECT_EQ(client.ReadLine(), "200 late");
    EXPECT_EQ(ticks, 0);
}
