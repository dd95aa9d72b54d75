// The NNTP client against a real news server: a private INN started for the test. Skipped,
// with the reason, only where inn2 cannot run here.
#include "net/AsyncSocket.h"
#include "net/NntpCapabilities.h"
#include "net/OverviewFormat.h"
#include "platform/MemoryStream.h"
#include "tests/net/NntpHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/PrivateInnServer.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

const std::string Group = "alt.binaries.nimbra.test";

// The body of article i: a long line, lines that start with dots, bytes of every value but
// CR, LF and NUL, so that nothing is lost between the post and the fetch.
std::string body(int i)
{
    std::string text = std::string(20000 + i, 'L') + "\r\n.\r\n..two\r\n";
    for (int c = 1; c < 256; ++c)
        if (c != '\r' && c != '\n')
            text += static_cast<char>(c);
    return text + "\r\nend of " + std::to_string(i) + "\r\n";
}

// Posts article i through the client (which must be ready) and waits for the answer.
std::uint16_t post(NntpHarness& h, int i)
{
    std::string article = "From: tester@nimbra.test\r\nNewsgroups: " + Group + "\r\nSubject: part " + std::to_string(i)
                          + "\r\nMessage-ID: <" + std::to_string(i) + "@nimbra.test>\r\n\r\n";
    std::string stuffed;
    const std::string text = body(i);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at) + 2;
        if (text[at] == '.')
            stuffed += '.';
        stuffed += text.substr(at, end - at);
        at = end;
    }
    stuffed.resize(stuffed.size() - 2);  // the terminator brings its own line end
    MemoryStream source(article + stuffed);
    h.client.Post(&source);
    return h.waitForNextDone(10000) ? h.lastError : 9999;
}

// The body of a fetched article (after the first empty line).
std::string bodyOf(const std::string& article)
{
    const std::size_t split = article.find("\r\n\r\n");
    return split == std::string::npos ? std::string() : article.substr(split + 4);
}

class InnServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = PrivateInnServer::unavailable();
        if (!missing.empty())
            GTEST_SKIP() << "no private INN: " << missing;
        std::string whyNot;
        ASSERT_TRUE(inn.start(whyNot)) << whyNot;
        ASSERT_TRUE(inn.newGroup(Group, whyNot)) << whyNot;
    }
    PrivateInnServer inn;
};

// Capabilities after MODE READER, posting, COMPRESS DEFLATE, the overview and pipelined
// ARTICLEs, every body back byte for byte.
TEST_F(InnServer, CapabilitiesCompressionOverviewAndPipelinedArticles)
{
    NntpHarness h(inn.portText());
    ASSERT_TRUE(h.connect());
    h.client.Capabilities();
    ASSERT_TRUE(h.waitForNextDone());
    ASSERT_EQ(h.lastError, 0);
    const NntpCapabilities& caps = h.client.ServerCapabilities();
    EXPECT_TRUE(caps.reader() && caps.over() && caps.hdr() && caps.compressDeflate());
    for (int i = 1; i <= 3; ++i)
        ASSERT_EQ(post(h, i), 0) << h.client.LastResponse();

    h.client.Compress();
    ASSERT_TRUE(h.waitForNextDone());
    ASSERT_EQ(h.lastError, 0) << h.client.LastResponse();
    h.client.Group(Group);
    ASSERT_TRUE(h.waitForNextDone());
    ASSERT_EQ(h.lastError, 0);
    const std::int64_t first = h.client.ArticleFirst(), last = h.client.ArticleLast();
    ASSERT_EQ(last - first, 2);

    std::vector<std::string> ids;
    h.client.OnOverviewLine = [&](NntpClient& c) { ids.emplace_back(c.Overview().messageId); };
    h.client.Over(first, last);
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 0);
    EXPECT_EQ(ids, (std::vector<std::string>{"<1@nimbra.test>", "<2@nimbra.test>", "<3@nimbra.test>"}));

    h.client.SetPipelineWindow(3);
    MemoryStream articles[3];
    for (int i = 0; i < 3; ++i)
        h.client.ArticleByNumber(first + i, &articles[i]);
    ASSERT_TRUE(h.waitForDone(h.doneCount + 3, 10000));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(bodyOf(articles[i].data()) == body(i + 1)) << "article " << i + 1;
    EXPECT_LT(h.client.Socket().WireBytes(), h.client.Socket().PlainBytes());
}

TEST_F(InnServer, LoginIsRequiredAndWorksOnce)
{
    inn.stop();
    PrivateInnServer guarded;
    guarded.requireLogin("nimbra", "s3cret");
    std::string whyNot;
    ASSERT_TRUE(guarded.start(whyNot)) << whyNot;
    ASSERT_TRUE(guarded.newGroup(Group, whyNot)) << whyNot;
    NntpHarness h(guarded.portText());
    ASSERT_TRUE(h.connect());
    h.client.ModeReader();
    ASSERT_TRUE(h.waitForNextDone());
    h.client.Group(Group);
    ASSERT_TRUE(h.waitForNextDone());
    EXPECT_EQ(h.lastError, 480);
    h.client.SetUserName("nimbra");
    h.client.SetPassWord("wrong");
    h.client.Authenticate();
    ASSERT_TRUE(h.waitForNextDone(10000));
    EXPECT_EQ(h.lastError, 481);

    NntpHarness again(guarded.portText());
    again.client.SetUserName("nimbra");
    again.client.SetPassWord("s3cret");
    ASSERT_TRUE(again.connect());
    again.client.ModeReader();
    ASSERT_TRUE(again.waitForNextDone());
    again.client.Authenticate();
    ASSERT_TRUE(again.waitForNextDone(10000));
    EXPECT_EQ(again.lastError, 0) << again.client.LastResponse();
    again.client.Group(Group);
    ASSERT_TRUE(again.waitForNextDone());
    EXPECT_EQ(again.lastError, 0);
}

} // namespace
} // namespace nimbra::test
