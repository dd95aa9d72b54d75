// The layers over the plain socket: line mode, the waiting routines, SOCKS, and the server
// side (listen, accept, adopt).
#include "net/AsyncSocket.h"
#include "net/ListeningSocket.h"
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/LoopbackListener.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

TEST(AsyncSocketLayers, LineModeDeliversOneLinePerEventAndGuardsItsLimit)
{
    FakeNewsServer server({send("one"), sendRaw("two\r\nthr"), silence(100), sendRaw("ee\r\n"),
                           sendRaw(std::string(40, 'l')), silence(100), send("last")});
    AsyncSocket socket;
    Events lines;
    int exceeded = 0;
    socket.SetLineMode(true);
    socket.SetLineLimit(30);
    socket.OnDataAvailable = [&](CustomAsyncSocket& s, std::uint16_t) { lines.push_back(s.ReceiveStr()); };
    socket.OnLineLimitExceeded = [&](CustomAsyncSocket&, int length, bool& clear) {
        exceeded = length;
        clear = true;
    };
    socket.SetAddr("127.0.0.1");
    socket.SetPort(server.portText());
    socket.Connect();
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 4; }));
    EXPECT_EQ(lines, (Events{"one\r\n", "two\r\n", "three\r\n", "last\r\n"}));
    EXPECT_EQ(exceeded, 40);
    server.verify();
}

TEST(AsyncSocketLayers, ReadLineWaitsForOneLine)
{
    FakeNewsServer server({silence(50), send("200 slow banner"), expect("QUIT")});
    AsyncSocket socket;
    socket.SetAddr("127.0.0.1");
    socket.SetPort(server.portText());
    socket.Connect();
    EXPECT_EQ(socket.ReadLine(3000), "200 slow banner");
    EXPECT_FALSE(socket.LineMode());
    socket.SendStr("QUIT\r\n");
    EXPECT_EQ(socket.ReadLine(100), "");  // nothing more comes
    server.verify();
}

// A SOCKS 5 proxy that accepts one client, checks its greeting and request, answers with
// the given reply code, and on success speaks as a news server whose banner arrives in the
// same segment as the proxy's answer.
class FakeSocksProxy {
public:
    explicit FakeSocksProxy(unsigned char replyCode) : code_(replyCode)
    {
        listener_ = LoopbackListener::open(port_, 1);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeSocksProxy()
    {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    std::string portText() const { return std::to_string(port_); }
    std::string seen;  // everything the client sent, read after the client is done

private:
    bool take(int fd, std::size_t count)
    {
        char buffer[256];
        while (count > 0) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 3000) <= 0)
                return false;
            const ssize_t n = ::recv(fd, buffer, std::min(count, sizeof buffer), 0);
            if (n <= 0)
                return false;
            seen.append(buffer, static_cast<std::size_t>(n));
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }
    void serve()
    {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0)
            return;
        if (take(fd, 3)) {
            ::send(fd, "\x05\x00", 2, 0);
            if (take(fd, 10)) {
                std::string answer("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x77", 10);
                answer[1] = static_cast<char>(code_);
                if (code_ == 0)
                    answer += "200 through the proxy\r\n";
                ::send(fd, answer.data(), answer.size(), 0);
                take(fd, 1);  // until the client goes
            }
        }
        ::close(fd);
    }

    unsigned char code_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

TEST(AsyncSocketLayers, SocksFiveCarriesTheNewsSession)
{
    FakeSocksProxy proxy(0);
    NntpHarness h("119");
    h.client.Socket().SetSocksServer("127.0.0.1");
    h.client.Socket().SetSocksPort(proxy.portText());
    int socksConnected = -1;
    h.client.Socket().OnSocksConnected = [&](CustomAsyncSocket&, std::uint16_t e) { socksConnected = e; };
    ASSERT_TRUE(h.connect());
    EXPECT_EQ(h.take(), Events{"connected 0"});
    EXPECT_EQ(h.client.LastResponse(), "200 through the proxy");
    EXPECT_EQ(socksConnected, 0);
    h.client.Abort();
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(proxy.seen.substr(0, 13), std::string("\x05\x01\x00\x05\x01\x00\x01\x7f\x00\x00\x01\x00\x77", 13));
}

TEST(AsyncSocketLayers, SocksRefusalEndsTheConnect)
{
    FakeSocksProxy proxy(5);
    NntpHarness h("119");
    h.client.Socket().SetSocksServer("127.0.0.1");
    h.client.Socket().SetSocksPort(proxy.portText());
    std::string socksError;
    h.client.Socket().OnSocksError = [&](CustomAsyncSocket&, int e, const std::string& msg) {
        socksError = std::to_string(e) + " " + msg;
    };
    h.call([&] { h.client.Connect(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"closed 0", "done 2 20005"}));
    EXPECT_EQ(socksError, "20005 SOCKS request rejected");
}

TEST(AsyncSocketLayers, ListenerAcceptsAndAdoptsAConnection)
{
    ListeningSocket listener;
    AsyncSocket served;
    AsyncSocket client;
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.OnSessionAvailable = [&](CustomAsyncSocket&, std::uint16_t) {
        served.Dup(listener.Accept());
        served.SendStr("hello from the server\r\n");
    };
    listener.Listen();
    EXPECT_EQ(listener.State(), wsListening);
    std::string received;
    client.OnDataAvailable = [&](CustomAsyncSocket& s, std::uint16_t) { received += s.ReceiveStr(); };
    client.SetAddr("127.0.0.1");
    client.SetPort(listener.GetXPort());
    client.Connect();
    ASSERT_TRUE(waitUntil([&] { return received == "hello from the server\r\n"; }));
    EXPECT_EQ(served.State(), wsConnected);
    EXPECT_EQ(served.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(client.PeerPort(), listener.GetXPort());
}

} // namespace
} // namespace nimbra::test
