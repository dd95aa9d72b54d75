#include "grouplist/ConnectionErrors.h"
#include "grouplist/TcpClient.h"
#include "grouplist/WaitPump.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nimbra;
using namespace nimbra::test;

namespace {

void connectTo(TcpClient& client, const FakeNewsServer& server, const std::string& host = "127.0.0.1")
{
    client.Host = host;
    client.Port = server.port();
    client.OpenConnection();
}

// The script has been played to its end and nothing differed.
void verifyPlayed(FakeNewsServer& server)
{
    EXPECT_TRUE(waitUntil([&] { return server.finished(); }));
    server.verify();
}

template <typename Error, typename Call>
std::string messageOf(Call call)
{
    try {
        call();
    } catch (const Error& error) {
        return error.what();
    }
    return "(nothing raised)";
}

} // namespace

TEST(TcpConnectionLines, EachLineEndingIsRemovedAndCrCrLfKeepsOneCr)
{
    FakeNewsServer server({sendRaw("crlf\r\nlf\ncrcrlf\r\r\n\r\nlast\n")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.ReadLine(), "crlf");
    EXPECT_EQ(client.ReadLine(), "lf");
    EXPECT_EQ(client.ReadLine(), "crcrlf\r");
    EXPECT_EQ(client.ReadLine(), "");
    EXPECT_EQ(client.ReadLine(), "last");
    EXPECT_FALSE(client.ReadLnTimedOut());
}

TEST(TcpConnectionLines, LineSplitOverManyPacketsIsJoined)
{
    FakeNewsServer server({sendRaw("he"), silence(50), sendRaw("llo\r"), silence(50), sendRaw("\nnext\r\n")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.ReadLine(), "hello");
    EXPECT_EQ(client.ReadLine(), "next");
}

TEST(TcpConnectionLines, OtherTerminatorsResumeTheirSearchAcrossPackets)
{
    FakeNewsServer server({sendRaw("one|"), silence(30), sendRaw("|two||")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.ReadLine("||"), "one");
    EXPECT_EQ(client.ReadLine("||"), "two");
}

TEST(TcpConnectionLines, LineOfExactlyTheLimitPassesOneMoreRaises)
{
    const std::string atLimit(16384, 'a');
    FakeNewsServer server({sendRaw(atLimit + "\n" + atLimit + "b\n")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.ReadLine(), atLimit);
    EXPECT_EQ(messageOf<MaxLineLengthExceededError>([&] { client.ReadLine(); }), "Max line length exceeded.");
}

TEST(TcpConnectionLines, CrBeforeLfCountsTowardsTheLimit)
{
    FakeNewsServer server({sendRaw(std::string(16384, 'a') + "\r\n")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_THROW(client.ReadLine(), MaxLineLengthExceededError);
}

TEST(TcpConnectionLines, EndlessLineWithoutLfRaisesInsteadOfGrowing)
{
    FakeNewsServer server({sendRaw(std::string(40000, 'x')), silence(3000)});
    TcpClient client;
    connectTo(client, server);
    EXPECT_THROW(client.ReadLine(), MaxLineLengthExceededError);
}

TEST(TcpConnectionLines, SplitModeCutsTheLongLine)
{
    FakeNewsServer server({sendRaw("abcdefgh\n")});
    TcpClient client;
    client.MaxLineAction = maSplit;
    client.MaxLineLength = 5;
    connectTo(client, server);
    EXPECT_EQ(client.ReadLine(), "abcde");
    EXPECT_TRUE(client.ReadLnSplit());
    EXPECT_EQ(client.ReadLine(), "fgh");
    EXPECT_FALSE(client.ReadLnSplit());
}

TEST(TcpConnectionLines, RemoteCloseDeliversCompleteLinesThenRaises)
{
    FakeNewsServer server({sendRaw("whole\r\npart"), close()});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.ReadLine(), "whole");
    EXPECT_EQ(messageOf<ConnClosedGracefullyError>([&] { client.ReadLine(); }), "Connection Closed Gracefully.");
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(messageOf<NotConnectedError>([&] { client.WriteLine("x"); }), "Not Connected");
}

TEST(TcpConnectionLines, ResetWhileReadingRaisesTheResetError)
{
    FakeNewsServer server({silence(100), reset()});
    TcpClient client;
    connectTo(client, server);
    try {
        client.ReadLine();
        FAIL() << "nothing raised";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.code(), 10054);
        EXPECT_STREQ(error.what(), "Socket Error # 10054\r\nConnection reset by peer.");
    } catch (const ConnClosedGracefullyError&) {
        // a reset that arrives as an orderly end on this system is also a clean end
    }
}

TEST(TcpConnectionReplies, EmptyLinesBeforeAReplyAreSkipped)
{
    FakeNewsServer server({sendRaw("\r\n  \r\n\n200 ready\r\n")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.ReadReply({200}), 200);
    EXPECT_EQ(client.LastCmdResult.TextCode, "200");
    EXPECT_EQ(client.LastCmdResult.Text, std::vector<std::string>{"ready"});
}

TEST(TcpConnectionReplies, ThreeLine211ReplyIsOneReply)
{
    FakeNewsServer server({expect("HELP"), send("211-first"), send("free text in the middle"), send("211 last"),
        send("200 next")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.SendCommand("HELP", 211), 211);
    EXPECT_EQ(client.LastCmdResult.Text, (std::vector<std::string>{"first", " text in the middle", "last"}));
    EXPECT_EQ(client.ReadReply({}), 200); // the reply after it is still whole
    verifyPlayed(server);
}

TEST(TcpConnectionReplies, EndMarkerIsMatchedWithoutRegardToCase)
{
    FakeNewsServer server({send("2ab-x"), send("2AB y")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.ReadReply({}), 0);
    EXPECT_EQ(client.LastCmdResult.TextCode, "2ab");
    EXPECT_EQ(client.LastCmdResult.Text.size(), 2u);
}

TEST(TcpConnectionReplies, CodeOutsideTheAllowedListRaisesWithCodeAndText)
{
    FakeNewsServer server({expect("LIST"), send("503-program fault"), send("503 try later")});
    TcpClient client;
    connectTo(client, server);
    try {
        client.SendCommand("LIST", std::vector<int>{215, 231});
        FAIL() << "nothing raised";
    } catch (const ProtocolReplyError& error) {
        EXPECT_EQ(error.code(), 503);
        EXPECT_STREQ(error.what(), "program fault\r\ntry later\r\n");
    }
}

TEST(TcpConnectionReplies, AnyCodeIsAcceptedWithMinusOneOrAnEmptyList)
{
    FakeNewsServer server({expect("A"), send("599 odd"), expect("B"), send("100 odd")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.SendCommand("A", -1), 599);
    EXPECT_EQ(client.SendCommand("B", std::vector<int>{}), 100);
    verifyPlayed(server);
}

TEST(TcpConnectionClose, CloseSendsNothingAndReportsItsSteps)
{
    FakeNewsServer server({send("200 hi"), expectClose()});
    TcpClient client;
    std::vector<std::string> statuses;
    client.OnStatus = [&](WorkComponent&, ConnStatus, const std::string& text) { statuses.push_back(text); };
    int disconnected = 0;
    client.OnDisconnected = [&](TcpConnection&) { ++disconnected; };
    connectTo(client, server, "LocalHost");
    EXPECT_TRUE(client.IsConnected());
    client.CloseConnection();
    EXPECT_FALSE(client.IsConnected());
    client.CloseConnection(); // a second close is harmless
    EXPECT_EQ(disconnected, 2);
    ASSERT_GE(statuses.size(), 5u);
    EXPECT_EQ(statuses[0], "Resolving hostname LocalHost.");
    EXPECT_EQ(statuses[1], "Connecting to 127.0.0.1.");
    EXPECT_EQ(statuses[2], "Connected.");
    EXPECT_EQ(statuses[3], "Disconnecting.");
    EXPECT_EQ(statuses[4], "Disconnected.");
    verifyPlayed(server);
}

TEST(TcpConnectionClose, ConnectionCanBeOpenedAgainAfterClose)
{
    FakeNewsServer server({send("200 one"), expectClose(), send("200 two")});
    TcpClient client;
    connectTo(client, server);
    EXPECT_EQ(client.ReadReply({200}), 200);
    EXPECT_THROW(client.OpenConnection(), AlreadyConnectedError);
    client.CloseConnection();
    client.OpenConnection();
    EXPECT_EQ(client.ReadReply({200}), 200);
    EXPECT_EQ(client.LastCmdResult.Text, std::vector<std::string>{"two"});
}

TEST(TcpConnectionWork, ReadWorkIsCountedOnlyInsideASession)
{
    FakeNewsServer server({sendRaw("abc\r\n"), silence(50), sendRaw("defgh\r\n")});
    TcpClient client;
    std::vector<std::int64_t> counts;
    int begins = 0;
    int ends = 0;
    client.OnWork = [&](WorkComponent&, WorkMode mode, std::int64_t count) {
        if (mode == wmRead)
            counts.push_back(count);
    };
    client.OnWorkBegin = [&](WorkComponent&, WorkMode, std::int64_t) { ++begins; };
    client.OnWorkEnd = [&](WorkComponent&, WorkMode) { ++ends; };
    connectTo(client, server);
    client.ReadLine();
    {
        WorkSession outer(client, wmRead);
        WorkSession inner(client, wmRead);
        client.ReadLine();
    }
    EXPECT_EQ(counts, std::vector<std::int64_t>{7});
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
}
