#include "grouplist/BlockingNntp.h"
#include "grouplist/ConnectionErrors.h"
#include "grouplist/NewsgroupListLine.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nimbra;
using namespace nimbra::test;

namespace {

struct Group {
    std::string name;
    std::int32_t low;
    std::int32_t high;
    std::string type;
    bool operator==(const Group&) const = default;
};

// A client pointed at the server that records every group it is handed.
struct ListClient {
    explicit ListClient(const FakeNewsServer& server)
    {
        client.Host = "127.0.0.1";
        client.Port = server.port();
        client.OnNewsgroupList = [this](const std::string& name, std::int32_t low, std::int32_t high,
                                     const std::string& type, bool&) { groups.push_back({name, low, high, type}); };
    }
    BlockingNntp client;
    std::vector<Group> groups;
};

void verifyPlayed(FakeNewsServer& server)
{
    EXPECT_TRUE(waitUntil([&] { return server.finished(); }));
    server.verify();
}

} // namespace

TEST(BlockingNntpConnect, GreetingsThatLetTheListBeFetched)
{
    const struct {
        const char* greeting;
        BlockingNntp::Permission permission;
    } cases[] = {
        {"200 news.test ready", BlockingNntp::Permission::CanPost},
        {"201 news.test no posting", BlockingNntp::Permission::CannotPost},
        {"400 news.test busy, come back", BlockingNntp::Permission::TemporarilyUnavailable},
        {"290 news.test odd but fine", BlockingNntp::Permission::Unknown},
    };
    for (const auto& c : cases) {
        FakeNewsServer server({send(c.greeting), expect("MODE READER"), send("201 reader, no posting"),
            expect("LIST"), sendBlock("215 list follows", {"alt.test 3 1 y"}), expect("Quit"), expectClose()});
        ListClient list(server);
        list.client.ConnectServer();
        EXPECT_EQ(list.client.permission(), c.permission) << c.greeting;
        EXPECT_EQ(list.client.modeResult(), BlockingNntp::ModeResult::CannotPost);
        EXPECT_EQ(list.client.Greeting.Text, std::vector<std::string>{std::string(c.greeting).substr(4)});
        list.client.ListGroups();
        list.client.QuitServer();
        EXPECT_EQ(list.groups, (std::vector<Group>{{"alt.test", 1, 3, "y"}})) << c.greeting;
        verifyPlayed(server);
    }
}

TEST(BlockingNntpConnect, Greeting502IsRefusedAndTheConnectionClosed)
{
    FakeNewsServer server({send("502 you are not welcome"), expect("Quit"), expectClose()});
    ListClient list(server);
    try {
        list.client.ConnectServer();
        FAIL() << "nothing raised";
    } catch (const NntpConnectionRefusedError& error) {
        EXPECT_EQ(error.code(), 502);
        EXPECT_STREQ(error.what(), "Connection explicitly refused by NNTP server.");
    }
    EXPECT_FALSE(list.client.IsConnected());
    verifyPlayed(server);
}

TEST(BlockingNntpConnect, ServerThatClosesInsteadOfGreetingRaisesAndCloses)
{
    FakeNewsServer server({close()});
    ListClient list(server);
    EXPECT_THROW(list.client.ConnectServer(), ConnClosedGracefullyError);
    EXPECT_FALSE(list.client.IsConnected());
    EXPECT_THROW(list.client.ListGroups(), NotConnectedError);
}

TEST(BlockingNntpAuth, List480AuthenticatesThenListsAgain)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("200 ok"), expect("LIST"),
        send("480 authentication required"), expect("AUTHINFO USER reader"), send("381 password please"),
        expect("AUTHINFO PASS secret"), send("281 welcome"), expect("LIST"),
        sendBlock("215 list", {"a.b 2 1 y"})});
    ListClient list(server);
    list.client.Username = "reader";
    list.client.Password = "secret";
    list.client.ConnectServer();
    list.client.ListGroups();
    EXPECT_EQ(list.groups.size(), 1u);
    verifyPlayed(server);
}

TEST(BlockingNntpAuth, ModeReader450AuthenticatesToo)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("450 who are you"),
        expect("AUTHINFO USER u"), send("381 more"), expect("AUTHINFO PASS p"), send("281 ok"),
        expect("MODE READER"), send("200 posting ok")});
    ListClient list(server);
    list.client.Username = "u";
    list.client.Password = "p";
    list.client.ConnectServer();
    EXPECT_EQ(list.client.modeResult(), BlockingNntp::ModeResult::CanPost);
    verifyPlayed(server);
}

TEST(BlockingNntpAuth, WrongPasswordRaisesTheServersReply)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("200 ok"), expect("LIST"),
        send("480 login"), expect("AUTHINFO USER u"), send("381 more"), expect("AUTHINFO PASS bad"),
        send("481 authentication rejected")});
    ListClient list(server);
    list.client.Username = "u";
    list.client.Password = "bad";
    list.client.ConnectServer();
    try {
        list.client.ListGroups();
        FAIL() << "nothing raised";
    } catch (const ProtocolReplyError& error) {
        EXPECT_EQ(error.code(), 481);
        EXPECT_STREQ(error.what(), "authentication rejected\r\n");
    }
    EXPECT_TRUE(list.groups.empty());
}

TEST(BlockingNntpAuth, ServerAskingAgainAndAgainGetsNoEndlessRetry)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("200 ok"), expect("LIST"),
        send("480 login"), expect("AUTHINFO USER u"), send("480 login first")});
    ListClient list(server);
    list.client.Username = "u";
    list.client.ConnectServer();
    EXPECT_THROW(list.client.ListGroups(), ProtocolReplyError);
    verifyPlayed(server);
}

TEST(BlockingNntpList, FieldsAreNameHighLowAndTheRestOfTheLine)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("200 ok"), expect("LIST"),
        sendBlock("215 list follows",
            {"alt.binaries.pictures 0000012345 0000000100 y", "only.a.name", "padded   77   5 m",
                "two.fields 9", "typed 5 4 y and more  text", "big 4294967297 -1 n", "junk x1 99999999999999999999 y",
                ".dot.stuffed 1 1 y"})});
    ListClient list(server);
    list.client.ConnectServer();
    list.client.ListGroups();
    const std::vector<Group> expected{
        {"alt.binaries.pictures", 100, 12345, "y"},
        {"only.a.name", 0, 0, ""},
        {"padded", 5, 77, "m"},
        {"two.fields", 0, 9, ""},
        {"typed", 4, 5, "y and more  text"},
        {"big", -1, 1, "n"}, // 2^32 + 1 keeps its low 32 bits
        {"junk", 0, 0, "y"},
        {"..dot.stuffed", 1, 1, "y"}, // the server stuffed it; the list takes the line as sent
    };
    EXPECT_EQ(list.groups.size(), expected.size());
    for (std::size_t i = 0; i < std::min(list.groups.size(), expected.size()); ++i)
        EXPECT_EQ(list.groups[i], expected[i]) << "line " << i;
}

TEST(BlockingNntpList, EmptyListRaisesNoEvent)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("200 ok"), expect("LIST"),
        sendBlock("215 list follows", {}), expect("Quit")});
    ListClient list(server);
    list.client.ConnectServer();
    list.client.ListGroups();
    list.client.QuitServer();
    EXPECT_TRUE(list.groups.empty());
    verifyPlayed(server);
}

TEST(BlockingNntpList, HandlerThatStopsLeavesTheRestUnread)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("200 ok"), expect("LIST"),
        sendBlock("215 list follows", {"a 1 1 y", "b 1 1 y", "c 1 1 y"})});
    ListClient list(server);
    list.client.OnNewsgroupList = [&](const std::string& name, std::int32_t, std::int32_t, const std::string&,
                                      bool& canContinue) {
        list.groups.push_back({name, 0, 0, ""});
        canContinue = name != "a";
    };
    list.client.ConnectServer();
    list.client.ListGroups();
    EXPECT_EQ(list.groups.size(), 1u);
    EXPECT_EQ(list.client.ReadLine(), "b 1 1 y");
}

TEST(BlockingNntpList, ServerFailingMidListKeepsWhatArrivedAndRaises)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("200 ok"), expect("LIST"),
        sendRaw("215 list follows\r\nfirst 1 1 y\r\nsecond 2 1 y\r\nthird 3 1"), close()});
    ListClient list(server);
    list.client.ConnectServer();
    EXPECT_THROW(list.client.ListGroups(), ConnClosedGracefullyError);
    ASSERT_EQ(list.groups.size(), 2u); // the cut-off line is not a group
    EXPECT_EQ(list.groups[1].name, "second");
}

TEST(BlockingNntpList, RefusedListAndMissingHandlerRaise)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("200 ok"), expect("LIST"),
        send("502 no list for you")});
    ListClient list(server);
    list.client.ConnectServer();
    list.client.OnNewsgroupList = nullptr;
    try {
        list.client.ListGroups();
        FAIL() << "nothing raised";
    } catch (const NoNewsgroupListHandlerError& error) {
        EXPECT_STREQ(error.what(), "No OnNewsgroupList event has been defined.");
    }
    list.client.OnNewsgroupList = [](const std::string&, std::int32_t, std::int32_t, const std::string&, bool&) {};
    try {
        list.client.ListGroups();
        FAIL() << "nothing raised";
    } catch (const ProtocolReplyError& error) {
        EXPECT_EQ(error.code(), 502);
        EXPECT_STREQ(error.what(), "no list for you\r\n");
    }
}

TEST(BlockingNntpList, LongGroupLineRaisesMaxLineLength)
{
    FakeNewsServer server({send("200 hi"), expect("MODE READER"), send("200 ok"), expect("LIST"),
        sendBlock("215 list follows", {"ok 1 1 y", std::string(20000, 'g') + " 1 1 y"})});
    ListClient list(server);
    list.client.ConnectServer();
    EXPECT_THROW(list.client.ListGroups(), MaxLineLengthExceededError);
    EXPECT_EQ(list.groups.size(), 1u);
}

TEST(NewsgroupListLine, NumbersBeyondSixtyFourBitsAndSignsAreHandled)
{
    EXPECT_EQ(NewsgroupListLine::parse("g 9223372036854775807 -9223372036854775808 y").high, -1);
    EXPECT_EQ(NewsgroupListLine::parse("g 9223372036854775807 -9223372036854775808 y").low, 0);
    EXPECT_EQ(NewsgroupListLine::parse("g 9223372036854775808 1 y").high, 0);
    EXPECT_EQ(NewsgroupListLine::parse("g +12 -3 y").high, 12);
    EXPECT_EQ(NewsgroupListLine::parse("g +12 -3 y").low, -3);
    EXPECT_EQ(NewsgroupListLine::parse("").name, "");
    EXPECT_EQ(NewsgroupListLine::parse("g 1 2 ").type, "");
}
