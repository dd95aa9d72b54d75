// The benchmark's delay relay: what passes through it arrives whole, in order, both ways,
// and a close is passed on.
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"
#include "tools/delay_relay/DelayRelay.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

TEST(DelayRelay, ATranscriptPassesUnchangedAndTheCloseFollows)
{
    std::vector<std::string> lines = {"Subject: through the relay", ""};
    for (int i = 0; i < 20000; ++i)
        lines.push_back("line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), 'x'));
    FakeNewsServer server({send("200 ready"), expect("ARTICLE 1"), sendBlock("220 1 <a@x>", lines),
                           expect("QUIT"), send("205 bye"), close()});
    DelayRelay relay(server.port(), 5);
    ASSERT_TRUE(relay.start());
    NntpHarness h(std::to_string(relay.port()));
    ASSERT_TRUE(h.connect());
    h.call([&] { h.client.ArticleByNumber(1, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    std::string expected;
    for (const std::string& line : lines)
        expected += line + "\r\n";
    EXPECT_EQ(h.stream.data(), expected);
    h.call([&] { h.client.Quit(); });
    ASSERT_TRUE(waitUntil([&] { return h.client.State() == nntpNotConnected; }));
    EXPECT_EQ(h.events.back(), "closed 0");
    server.verify();
}

} // namespace
} // namespace nimbra::test
