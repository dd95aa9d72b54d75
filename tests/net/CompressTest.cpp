// COMPRESS DEFLATE: the client against the scripted server compressing after its 206, and
// the deflate streams fed bytes directly.
#include "net/AsyncSocket.h"
#include "net/DeflateStream.h"
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

#include <random>

namespace nimbra::test {
namespace {

using Events = std::vector<std::string>;

TEST(NntpCompress, After206EverythingIsCompressedBothWays)
{
    std::vector<std::string> lines = {"Subject: compressed", ""};
    for (int i = 0; i < 3000; ++i)
        lines.push_back("a line that repeats itself, as news articles tend to " + std::to_string(i % 10));
    FakeNewsServer server({
        send("200 ready"),
        expect("COMPRESS DEFLATE"), send("206 Compression active"), startCompression(),
        expect("GROUP alt.test"), send("211 3 1 3 alt.test"),
        expect("ARTICLE 1"), sendBlock("220 1 <a@x>", lines),
        expect("QUIT"), send("205 bye"), close(),
    });
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.Compress(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_TRUE(h.client.Socket().CompressionActive());
    h.call([&] { h.client.Group("alt.test"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.client.ArticleLast(), 3);
    h.stream.clear();
    h.call([&] { h.client.ArticleByNumber(1, &h.stream); });
    ASSERT_TRUE(h.waitForNextDone());
    std::string expected;
    for (const std::string& line : lines)
        expected += line + "\r\n";
    EXPECT_EQ(h.stream.data(), expected);
    EXPECT_LT(h.client.Socket().WireBytes() * 10, h.client.Socket().PlainBytes());  // it did compress
    h.call([&] { h.client.Quit(); });
    ASSERT_TRUE(waitUntil([&] { return h.client.State() == nntpNotConnected; }));
    EXPECT_FALSE(h.client.Socket().CompressionActive());
    const Events events = h.take();
    EXPECT_EQ(Events(events.end() - 2, events.end()), (Events{"done 17 0", "closed 0"}));
    server.verify();
}

TEST(NntpCompress, RefusalGoesOnUncompressed)
{
    FakeNewsServer server({send("200 ready"), expect("COMPRESS DEFLATE"), send("500 What?"),
                           expect("GROUP alt.test"), send("211 3 1 3 alt.test")});
    NntpHarness h(server.portText());
    ASSERT_TRUE(h.connect());
    h.take();
    h.call([&] { h.client.Compress(); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_FALSE(h.client.Socket().CompressionActive());
    h.call([&] { h.client.Group("alt.test"); });
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.take(), (Events{"done 27 500", "done 0 0"}));
    server.verify();
}

TEST(DeflateStream, RoundTripInAnyPiecesAndGarbageIsRefused)
{
    std::mt19937 random(7);
    std::string plain;
    for (int i = 0; i < 200000; ++i)
        plain += i % 3 ? static_cast<char>(random()) : 'n';
    DeflateStream deflater(DeflateStream::Compress);
    std::string wire;
    for (std::size_t at = 0; at < plain.size(); at += 7001)
        ASSERT_TRUE(deflater.process(plain.data() + at, std::min<std::size_t>(7001, plain.size() - at), wire));
    for (std::size_t piece : {1u, 333u, 1000000u}) {
        DeflateStream inflater(DeflateStream::Decompress);
        std::string back;
        for (std::size_t at = 0; at < wire.size(); at += piece)
            ASSERT_TRUE(inflater.process(wire.data() + at, std::min(piece, wire.size() - at), back));
        EXPECT_EQ(back, plain) << piece;
    }
    DeflateStream inflater(DeflateStream::Decompress);
    std::string out;
    const std::string garbage = "\xff\xff\xff\xff not deflate at all";
    EXPECT_FALSE(inflater.process(garbage.data(), garbage.size(), out));
    EXPECT_FALSE(inflater.process(wire.data(), wire.size(), out));  // and stays refused
}

} // namespace
} // namespace nimbra::test
