// The asynchronous socket against loopback servers.
#include "net/AsyncSocket.h"
#include "net/Buffer.h"
#include "net/SocketErrorText.h"
#include "net/SocketException.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

#include <memory>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

// A socket whose events are written down.
struct Recorder {
    AsyncSocket socket;
    Events events;
    std::string received;

    Recorder()
    {
        socket.OnDnsLookupDone = [this](CustomAsyncSocket&, std::uint16_t e) { events.push_back("lookup " + std::to_string(e)); };
        socket.OnSessionConnected = [this](CustomAsyncSocket&, std::uint16_t e) { events.push_back("connected " + std::to_string(e)); };
        socket.OnSessionClosed = [this](CustomAsyncSocket&, std::uint16_t e) {
            events.push_back("closed " + std::to_string(e) + " after " + std::to_string(received.size()));
        };
        socket.OnDataAvailable = [this](CustomAsyncSocket& s, std::uint16_t) { received += s.ReceiveStr(); };
        socket.OnChangeState = [this](CustomAsyncSocket&, SocketState, SocketState now) {
            events.push_back("state " + std::to_string(now));
        };
    }

    bool connectTo(const std::string& port)
    {
        socket.SetAddr("127.0.0.1");
        socket.SetPort(port);
        socket.Connect();
        return waitUntil([&] { return socket.State() == wsConnected || socket.State() == wsClosed; });
    }
};

std::string errorText(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const SocketException& e) {
        return e.what();
    }
    return "no error";
}

TEST(AsyncSocket, DottedAddressAnswersInsideTheCallAndNamesLater)
{
    Recorder r;
    r.socket.DnsLookup("127.0.0.1");
    EXPECT_EQ(r.events, Events{"lookup 0"});
    EXPECT_EQ(r.socket.DnsResult(), "127.0.0.1");

    r.events.clear();
    r.socket.DnsLookup("localhost");
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(r.socket.DnsResult(), "");
    ASSERT_TRUE(waitUntil([&] { return !r.events.empty(); }));
    EXPECT_EQ(r.events, Events{"lookup 0"});
    EXPECT_EQ(r.socket.DnsResult(), "127.0.0.1");
    EXPECT_FALSE(r.socket.DnsResultList().empty());
}

TEST(AsyncSocket, EmptyHostReportsAndRaises)
{
    Recorder r;
    EXPECT_EQ(errorText([&] { r.socket.DnsLookup(""); }), "DNS lookup: invalid host name.");
    EXPECT_EQ(r.events, Events{"lookup 10022"});
}

TEST(AsyncSocket, ALookupOutlivedByItsSocketIsDropped)
{
    bool answered = false;
    {
        AsyncSocket socket;
        socket.OnDnsLookupDone = [&](CustomAsyncSocket&, std::uint16_t) { answered = true; };
        socket.DnsLookup("localhost");
    }
    Recorder restarted;  // a cancelled lookup gives way to the next one
    restarted.socket.DnsLookup("localhost");
    restarted.socket.DnsLookup("127.0.0.1");
    pumpFor(300);
    EXPECT_FALSE(answered);
    EXPECT_EQ(restarted.events, Events{"lookup 0"});
}

TEST(AsyncSocket, RefusedConnectReports10061AndEndsClosed)
{
    Recorder r;
    {
        FakeNewsServer gone({});
        r.socket.SetPort(gone.portText());
    }
    r.socket.SetAddr("127.0.0.1");
    r.socket.Connect();
    ASSERT_TRUE(waitUntil([&] { return r.socket.State() == wsClosed; }));
    EXPECT_EQ(r.events, (Events{"state 1", "state 3", "state 4", "connected 10061", "state 7", "closed 0 after 0"}));
}

TEST(AsyncSocket, ConnectChecksAndPropertiesLockedWhileOpen)
{
    FakeNewsServer server({expectClose()});
    Recorder r;
    EXPECT_EQ(errorText([&] { r.socket.Connect(); }), "Connect: No Port Specified");
    r.socket.SetPort(server.portText());
    EXPECT_EQ(errorText([&] { r.socket.Connect(); }), "Connect: No IP Address Specified");
    r.socket.SetAddr("127.0.0.1");
    r.socket.SetProto("icmp");
    EXPECT_EQ(errorText([&] { r.socket.Connect(); }), "connect: ResolveProto: Cannot convert protocol 'icmp', Error #11004");
    r.socket.SetProto("tcp");
    ASSERT_TRUE(r.connectTo(server.portText()));
    EXPECT_EQ(errorText([&] { r.socket.Connect(); }), "Connect: Socket already in use");
    EXPECT_EQ(errorText([&] { r.socket.SetAddr("127.0.0.2"); }), "Cannot change Addr if not closed");
    EXPECT_EQ(errorText([&] { r.socket.SetPort("1"); }), "Cannot change Port if not closed");
    EXPECT_EQ(errorText([&] { r.socket.SetProto("udp"); }), "Cannot change Proto if not closed");
    r.socket.Close();
    // A close forgets where the socket was connected.
    EXPECT_EQ(errorText([&] { r.socket.Connect(); }), "Connect: No Port Specified");
    EXPECT_EQ(r.socket.Proto(), "tcp");
    EXPECT_EQ(r.socket.LocalAddr(), "0.0.0.0");
}

TEST(AsyncSocket, SendWhileNotConnectedRaisesSend)
{
    Recorder r;
    const std::string text = errorText([&] { r.socket.SendStr("x"); });
    EXPECT_EQ(text, "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(r.socket.LastError(), 10057);
    EXPECT_EQ(r.socket.SendStr(""), 0);
}

TEST(AsyncSocket, LargeSendQueuesBlocksAndReportsSentOnce)
{
    const std::string line(4 << 20, 'q');
    FakeNewsServer server({expect(line), send("got it")});
    Recorder r;
    ASSERT_TRUE(r.connectTo(server.portText()));
    pumpFor(50);  // the write event that follows the connect
    int dataSent = 0;
    std::int64_t bytesSent = 0;
    r.socket.OnDataSent = [&](CustomAsyncSocket&, std::uint16_t error) {
        EXPECT_EQ(error, 0);
        ++dataSent;
    };
    r.socket.OnSendData = [&](CustomAsyncSocket&, int count) { bytesSent += count; };
    EXPECT_EQ(r.socket.SendStr(line + "\r\n"), static_cast<int>(line.size() + 2));
    EXPECT_EQ(dataSent, 0);  // never inside the call
    ASSERT_TRUE(waitUntil([&] { return r.received == "got it\r\n"; }, 10000));
    pumpFor(50);
    EXPECT_EQ(dataSent, 1);
    EXPECT_EQ(bytesSent, static_cast<std::int64_t>(line.size() + 2));
    server.verify();
}

TEST(AsyncSocket, CloseDeliversTheBytesStillReadableFirst)
{
    const std::string tail(300000, 'z');
    FakeNewsServer server({sendRaw(tail), close()});
    Recorder r;
    ASSERT_TRUE(r.connectTo(server.portText()));
    ASSERT_TRUE(waitUntil([&] { return r.socket.State() == wsClosed; }));
    EXPECT_EQ(r.received, tail);
    EXPECT_EQ(r.events.back(), "closed 0 after 300000");
}

TEST(AsyncSocket, ResetReports10054Once)
{
    FakeNewsServer server({send("hello"), silence(100), reset()});
    Recorder r;
    ASSERT_TRUE(r.connectTo(server.portText()));
    ASSERT_TRUE(waitUntil([&] { return r.socket.State() == wsClosed; }));
    pumpFor(50);
    EXPECT_EQ(r.received, "hello\r\n");
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "closed 10054 after 7"), 1);
    EXPECT_EQ(r.events.back(), "closed 10054 after 7");
}

TEST(AsyncSocket, BackgroundExceptionsAbortUnlessTheHandlerKeepsTheSocket)
{
    FakeNewsServer server({send("one"), silence(100), send("two"), expectClose()});
    Recorder r;
    std::vector<std::string> caught;
    r.socket.OnBgException = [&](CustomAsyncSocket&, const std::exception& e, bool& canClose) {
        caught.push_back(e.what());
        canClose = caught.size() > 1;
    };
    ASSERT_TRUE(r.connectTo(server.portText()));
    r.socket.PostTestException();
    pumpFor(30);
    EXPECT_EQ(r.socket.State(), wsConnected);
    r.socket.OnDataAvailable = [](CustomAsyncSocket& s, std::uint16_t) {
        s.ReceiveStr();
        throw std::runtime_error("handler failed");
    };
    ASSERT_TRUE(waitUntil([&] { return r.socket.State() == wsClosed; }));
    EXPECT_EQ(caught, (Events{"Test exception in socket", "handler failed"}));
    server.verify();
}

TEST(Buffer, WritesPeeksAndRemoves)
{
    Buffer buffer(0);
    EXPECT_EQ(buffer.Size(), 1514);
    int count = -1;
    EXPECT_EQ(buffer.Peek(count), nullptr);
    EXPECT_EQ(count, 0);
    const std::string data(2000, 'b');
    EXPECT_EQ(buffer.Write(data.data(), 2000), 1514);
    EXPECT_EQ(buffer.Write("x", 1), 0);
    EXPECT_EQ(buffer.Remove(1000), 1000);
    ASSERT_NE(buffer.Peek(count), nullptr);
    EXPECT_EQ(count, 514);
    EXPECT_EQ(buffer.Remove(600), 514);
    EXPECT_TRUE(buffer.Empty());
    EXPECT_EQ(buffer.Write("abc", 3), 3);  // counts went back to 0: the whole block is free again
    buffer.SetSize(2);
    const char* unread = buffer.Peek(count);
    EXPECT_EQ(std::string(unread, static_cast<std::size_t>(count)), "ab");
}

TEST(SocketErrorText, TextsAndMessages)
{
    EXPECT_STREQ(SocketErrorText::describe(10061), "Connection refused");
    EXPECT_STREQ(SocketErrorText::describe(11001), "Host not found");
    EXPECT_STREQ(SocketErrorText::describe(0), "No Error");
    EXPECT_STREQ(SocketErrorText::describe(12345), "Not a WinSock error");
    EXPECT_EQ(SocketErrorText::message(10054, "Receive"), "Error 10054 in function Receive\r\nConnection reset by peer");
}

} // namespace
} // namespace nimbra::test
