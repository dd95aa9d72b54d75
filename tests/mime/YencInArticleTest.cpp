// yEnc bodies inside whole articles: the lines the body decoder hands to its uudecoding path
// reach the yEnc decoder first, and everything else goes on as before.
#include "mime/YencDecoder.h"
#include "platform/MemoryStream.h"
#include "tests/mime/DecoderHarness.h"
#include "tests/support/YencTestEncoder.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

std::string body(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// Keeps what the yEnc events bring, on top of the harness's own saving.
struct YencLog {
    explicit YencLog(MimeDecoder& decoder)
    {
        decoder.Yenc().onBegin = [this](const YencStart& start) { names.push_back(start.header.name); };
        decoder.Yenc().onData = [this](const char* data, std::size_t n, std::uint64_t) { bytes.append(data, n); };
        decoder.Yenc().onEnd = [this](const YencStart&, const YencResult& result) { results.push_back(result); };
    }
    std::vector<std::string> names;
    std::string bytes;
    std::vector<YencResult> results;
};

TEST(YencInArticle, SinglePartBodyIsDecodedAndTheUuPathSeesOnlyTheRest)
{
    DecoderHarness h;
    YencLog log(h.decoder);
    const std::string payload = yencPayload(3000, 31);
    const std::string article = "Subject: [1/1] \"pic.jpg\" yEnc\r\n\r\nposted with care\r\n"
        + body(yencSingle("pic.jpg", payload, {128, true, false, 0.0, 1})) + "-- \r\nsig\r\n";
    h.decode(article);
    EXPECT_TRUE(h.outputs.empty());  // the uudecoding path found no file of its own
    EXPECT_EQ(log.names, std::vector<std::string>{"pic.jpg"});
    EXPECT_EQ(log.bytes, payload);
    ASSERT_EQ(log.results.size(), 1u);
    EXPECT_TRUE(log.results[0].good());
}

TEST(YencInArticle, ArticleCutBeforeTheTrailerEndsThePartUnconfirmed)
{
    DecoderHarness h;
    YencLog log(h.decoder);
    std::vector<std::string> lines = yencSingle("cut.jpg", yencPayload(2000, 32));
    lines.resize(lines.size() - 3);
    h.decode("Subject: cut\r\n\r\n" + body(lines));
    ASSERT_EQ(log.results.size(), 1u);
    EXPECT_FALSE(log.results[0].trailer);
    // The next article starts clean: its plain lines are not taken for yEnc data.
    h.decode("Subject: next\r\n\r\nplain words\r\n=yend size=1\r\n");
    EXPECT_EQ(log.results.size(), 1u);
}

TEST(YencInArticle, UuencodePartOfAMultipartArticleCarriesYenc)
{
    DecoderHarness h;
    YencLog log(h.decoder);
    const std::string payload = yencPayload(1500, 33);
    const std::string article =
        "Subject: mixed\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\npreamble\r\n--XX\r\n"
        "Content-Type: text/plain\r\n\r\n=ybegin line=128 size=3 name=not-decoded.txt\r\n--XX\r\n"
        "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n"
        + body(yencSingle("part.bin", payload)) + "--XX--\r\n";
    h.decode(article);
    EXPECT_EQ(log.names, std::vector<std::string>{"part.bin"});
    EXPECT_EQ(log.bytes, payload);
    ASSERT_EQ(log.results.size(), 1u);
    EXPECT_TRUE(log.results[0].good());
    EXPECT_NE(h.delivered.find("=ybegin line=128 size=3 name=not-decoded.txt"), std::string::npos);
}

TEST(YencInArticle, BoundaryInsideAYencPartEndsItUnconfirmed)
{
    DecoderHarness h;
    YencLog log(h.decoder);
    std::vector<std::string> lines = yencSingle("early.bin", yencPayload(1500, 34));
    lines.pop_back();
    h.decode("Subject: early\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n--B\r\n"
              "Content-Transfer-Encoding: x-uuencode\r\n\r\n" + body(lines) + "--B\r\n\r\nafter\r\n--B--\r\n");
    ASSERT_EQ(log.results.size(), 1u);
    EXPECT_FALSE(log.results[0].trailer);
    EXPECT_NE(h.delivered.find("after"), std::string::npos);
}

TEST(YencInArticle, UuencodedFileBesideAYencBlockIsStillSaved)
{
    DecoderHarness h;
    YencLog log(h.decoder);
    const std::string article = "Subject: both\r\n\r\n" + body(yencSingle("y.bin", "yenc bytes"))
        + "begin 644 abc.txt\r\n#86)C\r\n`\r\nend\r\n";
    h.decode(article);
    ASSERT_EQ(h.outputs.size(), 1u);
    EXPECT_EQ(h.outputs[0].name, "abc.txt");
    EXPECT_EQ(h.outputs[0].bytes, "abc");
    EXPECT_EQ(log.bytes, "yenc bytes");
}


TEST(YencInArticle, BodyReadInPlaceOrThroughCopiesDecodesAlike)
{
    const std::string first = yencPayload(300'000, 35);
    const std::string second = yencPayload(90'000, 36);
    std::vector<std::string> lines = yencSingle("first.bin", first, {128, true, true, 0.05, 2});
    lines.insert(lines.begin() + 900, "=ypart begin=1 end=5"); // out of place: skipped
    for (std::string& line : yencSingle("second.bin", second, {200, false, true, 0.0, 3}))
        lines.push_back(std::move(line));
    std::string article = "Subject: two\r\n\r\n";
    for (std::size_t k = 0; k < lines.size(); ++k)
        article += lines[k] + (k + 1 == lines.size() ? "" : k % 3 ? "\r\n" : "\n");

    auto decode = [&](Stream& stream) {
        MimeDecoder decoder;
        YencLog log(decoder);
        decoder.DecodeStream(stream);
        return log;
    };
    MemoryStream inPlace(article);
    CopyingStream copied(article);
    for (const YencLog& log : {decode(inPlace), decode(copied)}) {
        EXPECT_EQ(log.names, (std::vector<std::string>{"first.bin", "second.bin"}));
        EXPECT_TRUE(log.bytes == first + second);
        ASSERT_EQ(log.results.size(), 2u);
        EXPECT_TRUE(log.results[0].good());
        EXPECT_TRUE(log.results[1].good());
    }
}

} // namespace
} // namespace nimbra::test
