#include "tests/mime/DecoderHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>

namespace nimbra::test {
namespace {

// Pieces that steer the decoder into each of its paths; random bytes fill the gaps.
const std::vector<std::string> Pieces = {
    "Subject: fuzz (1/2)", "Content-Type: multipart/mixed; boundary=\"b\"", "Content-Type: multipart/mixed; boundary=",
    "Content-Type: image/jpeg; name=\"../p.jpg\"; boundary=c", "Content-Type: text/plain; charset", "Content-Type:",
    "Content-Transfer-Encoding: base64", "Content-Transfer-Encoding: quoted-printable",
    "Content-Transfer-Encoding: x-uuencode", "Content-Disposition: attachment; filename=", "Content-ID: <",
    "\tfolded", " ", "", "--b", "--b--", "--c", "--", "begin 644 ../a.jpg", "begin 644 /", "begin 666 x",
    "begin ", "begin 1477 t.txt", "begin 644 --- CUT HERE ---", "BEGIN 644 CUT HERE", "end", "`", "M", "M86)C", "#86)C", "QUJD",
    "QQ", "=", "=4", "=E9 x=", "(((", "\"", "a=\"b", ";;;=;=", "\r", "\x80\xff"};

std::string randomArticle(std::mt19937& random)
{
    std::uniform_int_distribution<int> pick(0, 99);
    std::string text;
    const int pieces = pick(random) / 2;
    for (int i = 0; i < pieces; ++i) {
        const int kind = pick(random);
        if (kind < 70) {
            text += Pieces[static_cast<std::size_t>(pick(random)) % Pieces.size()];
        } else {
            const int count = pick(random) % 90;
            for (int j = 0; j < count; ++j)
                text += static_cast<char>(pick(random) < 80 ? 32 + pick(random) % 95 : pick(random) * 2);
        }
        const int end = pick(random);
        text += end < 50 ? "\r\n" : end < 85 ? "\n" : end < 92 ? " " : "";
    }
    // Cut anywhere, as an article broken off mid-transfer would be.
    if (pick(random) < 50 && !text.empty())
        text.resize(static_cast<std::size_t>(random() % text.size()));
    return text;
}

TEST(DecoderFuzz, RandomAndTruncatedArticlesDecodeSafely)
{
    DecoderHarness h;
    int messageEnds = 0;
    h.decoder.OnMessageEnd = [&](MimeDecoder&) { ++messageEnds; };
    std::mt19937 random(20261208);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int runs = 0;
    for (; runs < 20000 && std::chrono::steady_clock::now() < deadline; ++runs) {
        const std::string text = randomArticle(random);
        h.delivered.clear();
        h.outputs.clear();
        try {
            h.decode(text);
        } catch (const std::runtime_error& error) {
            ADD_FAILURE() << error.what() << " for article: " << text;
        }
        // Every decoder writes at most its line's length, plus CR LF where a line end is added.
        const auto lineEnds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        ASSERT_LE(h.delivered.size(), text.size() + 2 * (lineEnds + 1)) << text;
        ASSERT_EQ(messageEnds, runs + 1);
        // Every uuencoded block the decoder opened was closed by an end or a cut.
        const auto begins = std::count(h.events.begin(), h.events.end(), "UuBegin")
            + std::count(h.events.begin(), h.events.end(), "UuContinue");
        const auto ends = std::count(h.events.begin(), h.events.end(), "UuEnd")
            + std::count(h.events.begin(), h.events.end(), "UuCut");
        ASSERT_EQ(begins, ends) << text;
        h.events.clear();
    }
    EXPECT_GT(runs, 100);
}

} // namespace
} // namespace nimbra::test
