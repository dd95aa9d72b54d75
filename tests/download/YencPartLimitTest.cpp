// A yEnc file can be no larger than its parts can carry: with every article within the size
// limit, a file of N parts holds at most N times that limit, and part N ends within the first
// N parts. Anything announced beyond that is refused before a working file is made.
#include "download/SaveTarget.h"
#include "download/YencAssembly.h"
#include "mime/YencDecoder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/YencTestEncoder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace nimbra {
namespace {

using Outcome = YencAssembly::Outcome;

class YencPartLimit : public ::testing::Test {
protected:
    std::string testName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string folder = test::TestEnvironment::makeFolder("limit-" + testName);
    YencAssembly assembly{test::TestEnvironment::root() + "ledger-limit-" + testName};

    Outcome feed(const std::vector<std::string>& lines)
    {
        std::vector<Outcome> outcomes;
        YencDecoder decoder;
        const SaveTarget target(test::TestEnvironment::root(), folder);
        decoder.onBegin = [&](const YencStart& start) { assembly.begin(start, target); };
        decoder.onData = [&](const char* data, std::size_t n, std::uint64_t offset) { assembly.data(data, n, offset); };
        decoder.onEnd = [&](const YencStart& start, const YencResult& r) {
            outcomes.push_back(assembly.end(start, r).outcome);
        };
        for (const std::string& line : lines)
            decoder.feed(line);
        decoder.finish();
        EXPECT_EQ(outcomes.size(), 1u);
        return outcomes.empty() ? Outcome::Refused : outcomes.front();
    }

    // One byte at the very end of an announced 4 GiB file.
    static std::vector<std::string> lastByte(const std::string& partAndTotal)
    {
        std::vector<std::string> lines{"=ybegin " + partAndTotal + " line=128 size=4294967295 name=big.jpg",
                                       "=ypart begin=4294967295 end=4294967295"};
        for (const std::string& line : test::yencLines("x"))
            lines.push_back(line);
        lines.push_back("=yend size=1 pcrc32=" + test::hex8(test::referenceCrc32("x")));
        return lines;
    }

    long filesInFolder() const
    {
        long count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
            ++count;
        return count;
    }
};

TEST_F(YencPartLimit, OneByteOfAFourGigabyteFileMakesNoFile)
{
    assembly.setPartLimit(1 << 20);
    EXPECT_EQ(feed(lastByte("part=3 total=3")), Outcome::Refused);  // size past 3 parts
    EXPECT_EQ(feed(lastByte("part=3")), Outcome::Refused);          // no total: part 3 ends past 3 parts
    EXPECT_EQ(filesInFolder(), 0);
    EXPECT_TRUE(assembly.ledger().entries().empty());
}

TEST_F(YencPartLimit, AFileThatFillsItsPartsExactlyIsTakenAndOneByteMoreIsNot)
{
    const std::string file = test::yencPayload(3000, 7);
    assembly.setPartLimit(1000);
    for (int part = 1; part <= 3; ++part) {
        const Outcome outcome = feed(test::yencPart("fits.jpg", file, part, 3, (part - 1) * 1000, part * 1000));
        EXPECT_EQ(outcome, part == 3 ? Outcome::Completed : Outcome::Stored) << part;
    }
    const std::string larger = test::yencPayload(3001, 8);
    EXPECT_EQ(feed(test::yencPart("larger.jpg", larger, 1, 3, 0, 1000)), Outcome::Refused);
    EXPECT_EQ(filesInFolder(), 1);  // fits.jpg alone
}

TEST_F(YencPartLimit, WithoutALimitTheAnnouncedSizeIsOnlyBoundByTheFileLimit)
{
    const std::string file = test::yencPayload(3001, 9);
    EXPECT_EQ(feed(test::yencPart("open.jpg", file, 1, 3, 0, 1001)), Outcome::Stored);
}

} // namespace
} // namespace nimbra
