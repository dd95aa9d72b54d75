#include "mime/YencDecoder.h"
#include "mime/YencLineDecoder.h"
#include "tests/support/YencTestEncoder.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

using test::YencEncoding;

// Collects the decoder's events; the file is rebuilt from the offsets the data events carry.
struct Recorder {
    YencDecoder decoder;
    std::vector<YencStart> starts;
    std::vector<YencResult> results;
    std::string file;
    std::vector<std::string> passedOn;
    bool contiguous = true;

    Recorder()
    {
        decoder.onBegin = [this](const YencStart& start) { starts.push_back(start); };
        decoder.onData = [this](const char* data, std::size_t n, std::uint64_t offset) {
            contiguous = contiguous && offset == starts.back().offset + decodedInPart();
            if (file.size() < offset + n)
                file.resize(offset + n);
            file.replace(offset, n, data, n);
            partBytes += n;
        };
        decoder.onEnd = [this](const YencStart&, const YencResult& result) {
            results.push_back(result);
            partBytes = 0;
        };
    }
    std::uint64_t decodedInPart() const { return partBytes; }
    void feed(const std::vector<std::string>& lines)
    {
        for (const std::string& line : lines) {
            if (!decoder.feed(line))
                passedOn.push_back(line);
        }
    }
    std::uint64_t partBytes = 0;
};

class YencRoundTrip : public ::testing::TestWithParam<YencLineDecoder::Path> {
protected:
    void SetUp() override
    {
        if (!YencLineDecoder::available(GetParam()))
            GTEST_SKIP() << YencLineDecoder::name(GetParam()) << " not available on this processor";
        YencLineDecoder::choose(GetParam());
    }
    void TearDown() override { YencLineDecoder::choose(YencLineDecoder::Path::Auto); }
};

TEST_P(YencRoundTrip, RandomPayloadsInEveryEncodingStyleComeBackWhole)
{
    const std::vector<YencEncoding> styles{
        {128, false, false, 0.0, 1},
        {61, true, false, 0.0, 2},    // bare blanks at line ends, bare "." at line starts
        {128, false, true, 0.0, 3},   // escapes split over line ends: lines ending in "="
        {997, false, false, 0.3, 4},  // long lines, many needless escapes
        {1, false, true, 0.0, 5},
    };
    for (std::size_t size : {0u, 1u, 255u, 256u, 257u, 5000u, 100000u}) {
        for (const YencEncoding& style : styles) {
            const std::string payload = test::yencPayload(size, static_cast<unsigned>(size) + style.seed);
            Recorder r;
            r.feed(test::yencSingle("random.bin", payload, style));
            ASSERT_EQ(r.results.size(), 1u);
            EXPECT_TRUE(r.results[0].good()) << "size " << size << " style " << style.seed;
            EXPECT_EQ(r.results[0].fileCrc, YencCheck::Match);
            EXPECT_EQ(r.file, payload) << "size " << size << " style " << style.seed;
            EXPECT_TRUE(r.contiguous);
            EXPECT_TRUE(r.passedOn.empty());
        }
    }
}

TEST_P(YencRoundTrip, EncodedLinesReallyHoldTheAwkwardCases)
{
    // The styles above only prove something if the awkward lines occur in them.
    const std::string payload = test::yencPayload(100000, 9);
    bool dotStart = false, blankEnd = false, equalsEnd = false;
    for (const std::string& line : test::yencLines(payload, {61, true, false, 0.0, 2})) {
        dotStart = dotStart || line.front() == '.';
        blankEnd = blankEnd || line.back() == ' ' || line.back() == '\t';
    }
    for (const std::string& line : test::yencLines(payload, {128, false, true, 0.0, 3}))
        equalsEnd = equalsEnd || line.back() == '=';
    EXPECT_TRUE(dotStart);
    EXPECT_TRUE(blankEnd);
    EXPECT_TRUE(equalsEnd);
}

INSTANTIATE_TEST_SUITE_P(All, YencRoundTrip,
                         ::testing::Values(YencLineDecoder::Path::Scalar, YencLineDecoder::Path::Ssse3,
                                           YencLineDecoder::Path::Avx2, YencLineDecoder::Path::Avx512),
                         [](const auto& info) { return std::string(YencLineDecoder::name(info.param)); });

TEST(YencDecoder, PartsReportTheirPlaceInTheFile)
{
    const std::string file = test::yencPayload(3000, 21);
    Recorder r;
    r.feed(test::yencPart("pic.jpg", file, 2, 3, 1000, 2000));
    ASSERT_EQ(r.starts.size(), 1u);
    EXPECT_FALSE(r.starts[0].single);
    EXPECT_EQ(r.starts[0].offset, 1000u);
    EXPECT_EQ(r.starts[0].length, 1000u);
    EXPECT_EQ(r.starts[0].header.name, "pic.jpg");
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_TRUE(r.results[0].good());
    EXPECT_EQ(r.results[0].partCrc, YencCheck::Match);
    EXPECT_EQ(r.results[0].fileCrc, YencCheck::Absent);  // the part's crc32 covers the whole file
    EXPECT_EQ(r.results[0].end.crc32, test::referenceCrc32(file));
    EXPECT_EQ(r.file.substr(1000), file.substr(1000, 1000));
}

TEST(YencDecoder, BadPartChecksumIsReported)
{
    const std::string file = test::yencPayload(2000, 22);
    std::vector<std::string> lines = test::yencPart("pic.jpg", file, 1, 2, 0, 1000);
    lines.back() = "=yend size=1000 part=1 pcrc32=" + test::hex8(test::referenceCrc32(file.substr(0, 1000)) ^ 1);
    Recorder r;
    r.feed(lines);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(r.results[0].partCrc, YencCheck::Mismatch);
    EXPECT_FALSE(r.results[0].good());
}

TEST(YencDecoder, DamagedDataFailsTheSizeOrTheChecksum)
{
    const std::string payload = test::yencPayload(1000, 23);
    std::vector<std::string> dropped = test::yencSingle("a.bin", payload);
    dropped.erase(dropped.begin() + 2);
    std::vector<std::string> changed = test::yencSingle("a.bin", payload);
    changed[3][5] = static_cast<char>(changed[3][5] == 'x' ? 'y' : 'x');
    Recorder r;
    r.feed(dropped);
    r.feed(changed);
    ASSERT_EQ(r.results.size(), 2u);
    EXPECT_EQ(r.results[0].size, YencCheck::Mismatch);
    EXPECT_FALSE(r.results[0].good());
    EXPECT_EQ(r.results[1].fileCrc, YencCheck::Mismatch);
    EXPECT_FALSE(r.results[1].good());
}

TEST(YencDecoder, ArticleEndingBeforeTheTrailerEndsThePartUnconfirmed)
{
    std::vector<std::string> lines = test::yencSingle("a.bin", test::yencPayload(500, 24));
    lines.pop_back();
    Recorder r;
    r.feed(lines);
    EXPECT_TRUE(r.results.empty());
    EXPECT_TRUE(r.decoder.active());
    r.decoder.finish();
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_FALSE(r.results[0].trailer);
    EXPECT_FALSE(r.results[0].good());
    EXPECT_FALSE(r.decoder.active());
}

TEST(YencDecoder, TextAroundTheBlockIsPassedOn)
{
    std::vector<std::string> lines{"Here is the picture:", ""};
    for (const std::string& line : test::yencSingle("a.jpg", "hello"))
        lines.push_back(line);
    lines.push_back("-- ");
    lines.push_back("=yend stray");
    Recorder r;
    r.feed(lines);
    EXPECT_EQ(r.passedOn, (std::vector<std::string>{"Here is the picture:", "", "-- ", "=yend stray"}));
    EXPECT_EQ(r.file, "hello");
}

TEST(YencDecoder, TwoFilesInOneArticleAndABeginWithoutEnd)
{
    std::vector<std::string> lines = test::yencSingle("one.bin", "first");
    lines.pop_back();  // cut short by the next "=ybegin"
    for (const std::string& line : test::yencSingle("two.bin", "second"))
        lines.push_back(line);
    Recorder r;
    r.feed(lines);
    ASSERT_EQ(r.results.size(), 2u);
    EXPECT_FALSE(r.results[0].trailer);
    EXPECT_TRUE(r.results[1].good());
    EXPECT_EQ(r.starts[1].header.name, "two.bin");
}

TEST(YencDecoder, UnreadableBeginIsNotYenc)
{
    Recorder r;
    r.feed({"=ybegin line=128 name=nosize.jpg", "kkkk", "=yend size=4"});
    EXPECT_TRUE(r.starts.empty());
    EXPECT_EQ(r.passedOn.size(), 3u);
}

TEST(YencDecoder, EscapeLeftOpenBeforeTheTrailerIsDropped)
{
    Recorder r;
    r.feed({"=ybegin line=128 size=2 name=a.bin", "kk=", "=yend size=2"});
    r.feed({"=ybegin line=128 size=1 name=b.bin", "}"});
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_TRUE(r.results[0].good());
    r.decoder.finish();
    EXPECT_EQ(r.file.substr(0, 1), "S");  // "}" - 42, not the escaped 0x13
}

TEST(YencDecoder, PartRangeOutsideTheFileNeverChecksGood)
{
    Recorder r;
    r.feed({"=ybegin part=2 total=2 line=128 size=3 name=a.bin", "=ypart begin=3 end=4", "kk", "=yend size=2 part=2"});
    ASSERT_EQ(r.starts.size(), 1u);
    EXPECT_FALSE(r.starts[0].consistent);
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_FALSE(r.results[0].good());
}

TEST(YencDecoder, PartOneOfOneCoveringTheFileIsASingleFile)
{
    const std::string file = test::yencPayload(700, 25);
    Recorder r;
    r.feed(test::yencPart("a.bin", file, 1, 1, 0, 700));
    ASSERT_EQ(r.starts.size(), 1u);
    EXPECT_TRUE(r.starts[0].single);
    EXPECT_EQ(r.results[0].fileCrc, YencCheck::Match);
    EXPECT_TRUE(r.results[0].good());
}

TEST(YencDecoder, ThrowingHandlerLeavesTheDecoderUsableAfterReset)
{
    Recorder r;
    r.decoder.onData = [](const char*, std::size_t, std::uint64_t) { throw std::runtime_error("disk full"); };
    EXPECT_THROW(r.feed(test::yencSingle("a.bin", "abc")), std::runtime_error);
    r.decoder.reset();
    EXPECT_FALSE(r.decoder.active());
    EXPECT_FALSE(r.decoder.feed("plain text"));
}

} // namespace
} // namespace nimbra

namespace nimbra {
namespace {

TEST(YencDecoder, ArbitraryKeywordSoupKeepsBeginsAndEndsPaired)
{
    const std::vector<std::string> pieces{
        "=ybegin line=128 size=10 name=a", "=ybegin part=2 total=3 size=100 name=b", "=ypart begin=11 end=20",
        "=ypart begin=5 end=1", "=yend size=10 crc32=1234", "=yend pcrc32=zz", "=ybegin size=x name=c", "kkkk=",
        "=}=}", "", "\r", "=", "=y", "begin 644 x", "=ybegin size=18446744073709551615 name=max"};
    std::mt19937 random(51);
    for (int round = 0; round < 2000; ++round) {
        YencDecoder decoder;
        int open = 0;
        bool paired = true;
        std::uint64_t expectedOffset = 0;
        decoder.onBegin = [&](const YencStart& start) {
            paired = paired && open == 0;
            ++open;
            expectedOffset = start.offset;
        };
        decoder.onData = [&](const char*, std::size_t n, std::uint64_t offset) {
            paired = paired && open == 1 && offset == expectedOffset;
            expectedOffset += n;
        };
        decoder.onEnd = [&](const YencStart&, const YencResult&) {
            paired = paired && open == 1;
            --open;
        };
        for (int i = 0; i < 30; ++i)
            decoder.feed(pieces[random() % pieces.size()]);
        decoder.finish();
        ASSERT_TRUE(paired) << "round " << round;
        ASSERT_EQ(open, 0) << "round " << round;
        ASSERT_FALSE(decoder.active());
    }
}

} // namespace
} // namespace nimbra
