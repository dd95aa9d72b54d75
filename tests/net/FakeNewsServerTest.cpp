// The fake news server itself, driven by a plain blocking client.
#include "tests/support/FakeNewsServer.h"

#include "tests/support/EventLoop.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace nimbra::test {
namespace {

class RawClient {
public:
    explicit RawClient(std::uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(fd_); }
    bool connected() const { return connected_; }
    void write(const std::string& bytes) { ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size())); }
    // Everything until the server closes (or resets), or 2 s pass.
    std::string readAll(int* error = nullptr)
    {
        std::string all;
        char buffer[4096];
        for (;;) {
            pollfd fds{fd_, POLLIN, 0};
            if (::poll(&fds, 1, 2000) <= 0)
                return all;
            const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
            if (count <= 0) {
                if (error)
                    *error = count < 0 ? errno : 0;
                return all;
            }
            all.append(buffer, count);
        }
    }
    // Reads until the bytes read so far end with the given text.
    std::string readUntil(const std::string& end)
    {
        std::string all;
        char c;
        while (all.size() < end.size() || all.compare(all.size() - end.size(), end.size(), end) != 0) {
            pollfd fds{fd_, POLLIN, 0};
            if (::poll(&fds, 1, 2000) <= 0 || ::recv(fd_, &c, 1, 0) != 1)
                break;
            all += c;
        }
        return all;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

TEST(FakeNewsServer, PlaysScriptAndDotStuffsBlocks)
{
    FakeNewsServer server({
        send("200 ready"),
        expect("ARTICLE 1"),
        sendBlock("220 1 <a@b> article", {"Subject: s", "", ".dot", "..two"}),
        expect("QUIT"),
        send("205 bye"),
        close(),
    });
    RawClient client(server.port());
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.readUntil("ready\r\n"), "200 ready\r\n");
    client.write("ARTICLE 1\r\nQUIT\r\n");
    EXPECT_EQ(client.readAll(), "220 1 <a@b> article\r\nSubject: s\r\n\r\n..dot\r\n...two\r\n.\r\n205 bye\r\n");
    EXPECT_TRUE(waitUntil([&] { return server.finished(); }));
    EXPECT_EQ(server.received(), (std::vector<std::string>{"ARTICLE 1", "QUIT"}));
    server.verify();
}

TEST(FakeNewsServer, RecordsUnexpectedLineAndClosesTheConnection)
{
    FakeNewsServer server({send("200 ready"), expect("GROUP a"), send("211 0 0 0 a")});
    RawClient client(server.port());
    client.write("GROUP b\r\n");
    EXPECT_EQ(client.readAll(), "200 ready\r\n");
    ASSERT_EQ(server.problems().size(), 1u);
    EXPECT_EQ(server.problems()[0], "expected \"GROUP a\", received \"GROUP b\"");
    EXPECT_TRUE(waitUntil([&] { return server.finished(); }));
    EXPECT_NONFATAL_FAILURE(server.verify(), "received \"GROUP b\"");
}

TEST(FakeNewsServer, UnfinishedScriptFailsVerify)
{
    FakeNewsServer server({send("200 ready"), expect("QUIT")});
    EXPECT_NONFATAL_FAILURE(server.verify(0), "step 1 of 2");
}

TEST(FakeNewsServer, ExpectBlockComparesUnstuffedLines)
{
    FakeNewsServer server({send("340 send"), expectBlock({"Subject: x", ".hidden"}), send("240 ok")});
    RawClient client(server.port());
    client.write("Subject: x\r\n..hidden\r\n.\r\n");
    EXPECT_EQ(client.readUntil("ok\r\n"), "340 send\r\n240 ok\r\n");
    server.verify();
}

TEST(FakeNewsServer, ReconnectGetsTheNextConnectionAndResetIsSeen)
{
    FakeNewsServer server({send("200 one"), expectClose(), send("200 two"), reset()});
    {
        RawClient first(server.port());
        EXPECT_EQ(first.readUntil("one\r\n"), "200 one\r\n");
    }
    RawClient second(server.port());
    int error = -1;
    EXPECT_EQ(second.readAll(&error), "200 two\r\n");
    EXPECT_EQ(error, ECONNRESET);
    EXPECT_EQ(server.connections(), 2);
    server.verify();
}

TEST(FakeNewsServer, ResponderAnswersEveryLineWithItsConnection)
{
    FakeNewsServer server(
        [](FakeConnection& c) { return FakeNewsServer::Script{send("200 connection " + std::to_string(c.index))}; },
        [](const std::string& line, FakeConnection& c) {
            if (line == "QUIT")
                return FakeNewsServer::Script{send("205 bye"), close()};
            return FakeNewsServer::Script{send("500 " + line + " " + std::to_string(c.received.size()))};
        });
    for (int i = 0; i < 2; ++i) {
        RawClient client(server.port());
        client.write("HELP\r\nQUIT\r\n");
        EXPECT_EQ(client.readAll(), "200 connection " + std::to_string(i) + "\r\n500 HELP 1\r\n205 bye\r\n");
    }
    server.verify();
}

TEST(FakeNewsServer, StopsWhileTheClientNeitherReadsNorCloses)
{
    auto server = std::make_unique<FakeNewsServer>(
        FakeNewsServer::Script{send("200 ready"), sendRaw(std::string(32 << 20, 'x')), expect("QUIT")});
    RawClient client(server->port());
    EXPECT_EQ(client.readUntil("ready\r\n"), "200 ready\r\n");
    EXPECT_NONFATAL_FAILURE(server->verify(0), "stopped at step 2");
    // The destructor must not wait for the 32 MB to drain, while the client still holds on.
    server.reset();
}

TEST(FakeNewsServer, StopsWhenNobodyConnects)
{
    FakeNewsServer server({send("200 ready")});
    EXPECT_FALSE(server.finished());
    EXPECT_EQ(server.connections(), 0);
    EXPECT_NONFATAL_FAILURE(server.verify(0), "step 1 of 1");
}

} // namespace
} // namespace nimbra::test
