#include "download/LedgerWriter.h"
#include "download/SaveTarget.h"
#include "download/YencAssembly.h"
#include "mime/YencDecoder.h"
#include "platform/AtomicFile.h"
#include "platform/UniqueFileName.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/YencTestEncoder.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace nimbra {
namespace {

using Outcome = YencAssembly::Outcome;

// Runs an article's body lines through the decoder into the assembly, as the saving code
// does, and returns one report per yEnc part met.
std::vector<YencAssembly::Report> feed(YencAssembly& assembly, const std::vector<std::string>& lines,
                                       const std::string& folder)
{
    std::vector<YencAssembly::Report> reports;
    YencDecoder decoder;
    // Test folders sit directly in the test root, as group folders in the download folder.
    const SaveTarget target(test::TestEnvironment::root(), folder);
    decoder.onBegin = [&](const YencStart& start) { assembly.begin(start, target); };
    decoder.onData = [&](const char* data, std::size_t n, std::uint64_t offset) { assembly.data(data, n, offset); };
    decoder.onEnd = [&](const YencStart& start, const YencResult& result) { reports.push_back(assembly.end(start, result)); };
    for (const std::string& line : lines)
        decoder.feed(line);
    decoder.finish();
    return reports;
}

YencAssembly::Report feedOne(YencAssembly& assembly, const std::vector<std::string>& lines, const std::string& folder)
{
    const std::vector<YencAssembly::Report> reports = feed(assembly, lines, folder);
    EXPECT_EQ(reports.size(), 1u);
    return reports.empty() ? YencAssembly::Report{} : reports.front();
}

std::string contents(const std::string& path)
{
    std::string bytes;
    AtomicFile::read(path, bytes);
    return bytes;
}

struct Split {
    std::string name;
    std::string file;
    std::vector<std::vector<std::string>> parts;
};

Split split(const std::string& name, std::size_t size, int count, unsigned seed)
{
    Split s{name, test::yencPayload(size, seed), {}};
    const std::size_t step = (size + count - 1) / count;
    for (int i = 0; i < count; ++i) {
        const std::size_t begin = i * step;
        const std::size_t end = std::min(size, begin + step);
        s.parts.push_back(test::yencPart(name, s.file, i + 1, count, begin, end, {128, false, true, 0.0, seed + i}));
    }
    return s;
}

class YencAssemblyTest : public ::testing::Test {
protected:
    // Named after the test, so the cases stay apart when they share one process.
    std::string testName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string folder = test::TestEnvironment::makeFolder("target-" + testName);
    std::string ledger = test::TestEnvironment::root() + "ledger-" + testName;
};

TEST_F(YencAssemblyTest, SingleFileIsSavedUnderItsSafeNameAndNeverOverwrites)
{
    YencAssembly assembly(ledger);
    const std::string payload = test::yencPayload(5000, 1);
    const auto first = feedOne(assembly, test::yencSingle("../../etc/pic.jpg", payload), folder);
    EXPECT_EQ(first.outcome, Outcome::Completed);
    EXPECT_TRUE(first.counts());
    EXPECT_EQ(first.folder, folder);
    EXPECT_EQ(first.name, "pic.jpg");
    EXPECT_EQ(first.size, payload.size());
    EXPECT_EQ(contents(folder + "pic.jpg"), payload);
    EXPECT_EQ(feedOne(assembly, test::yencSingle("pic.jpg", "other"), folder).name, "1pic.jpg");
    EXPECT_EQ(contents(folder + "pic.jpg"), payload);
    EXPECT_TRUE(assembly.ledger().entries().empty());
}

TEST_F(YencAssemblyTest, NameWithNothingUsableGetsARandomPictureName)
{
    YencAssembly assembly(ledger);
    const auto r = feedOne(assembly, test::yencSingle("\x01\x02", "data"), folder);
    EXPECT_EQ(r.outcome, Outcome::Completed);
    ASSERT_GT(r.name.size(), 4u);
    EXPECT_EQ(r.name.substr(r.name.size() - 4), ".jpg");
    EXPECT_EQ(contents(folder + r.name), "data");
}

TEST_F(YencAssemblyTest, DamagedSingleFileIsNotWritten)
{
    YencAssembly assembly(ledger);
    std::vector<std::string> lines = test::yencSingle("bad.jpg", test::yencPayload(3000, 2));
    lines.erase(lines.begin() + 3);
    EXPECT_EQ(feedOne(assembly, lines, folder).outcome, Outcome::Refused);
    EXPECT_FALSE(UniqueFileName::exists(folder + "bad.jpg"));
}

TEST_F(YencAssemblyTest, TwoPartFileComesTogetherWithOtherArticlesBetween)
{
    YencAssembly assembly(ledger);
    const Split s = split("two.jpg", 3000, 2, 3);
    EXPECT_EQ(feedOne(assembly, s.parts[1], folder).outcome, Outcome::Stored);
    EXPECT_TRUE(feed(assembly, {"Subject text only", "begin 644 x.jpg", "end"}, folder).empty());
    EXPECT_EQ(feedOne(assembly, test::yencSingle("between.bin", "xyz"), folder).outcome, Outcome::Completed);
    const auto last = feedOne(assembly, s.parts[0], folder);
    EXPECT_EQ(last.outcome, Outcome::Completed);
    EXPECT_EQ(last.name, "two.jpg");
    EXPECT_EQ(last.size, 3000u);
    EXPECT_EQ(contents(folder + "two.jpg"), s.file);
    EXPECT_TRUE(assembly.ledger().entries().empty());
}

TEST_F(YencAssemblyTest, TenPartFilesShuffledTogetherBothComplete)
{
    YencAssembly assembly(ledger);
    const Split big = split("ten.jpg", 40000, 10, 4);
    const Split small = split("three.png", 1000, 3, 5);
    std::vector<const std::vector<std::string>*> order;
    for (const auto& part : big.parts)
        order.push_back(&part);
    for (const auto& part : small.parts)
        order.push_back(&part);
    std::shuffle(order.begin(), order.end(), std::mt19937(6));
    int completed = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto r = feedOne(assembly, *order[i], folder);
        ASSERT_TRUE(r.outcome == Outcome::Stored || r.outcome == Outcome::Completed) << "article " << i;
        completed += r.counts();
    }
    EXPECT_EQ(completed, 2);
    EXPECT_EQ(contents(folder + "ten.jpg"), big.file);
    EXPECT_EQ(contents(folder + "three.png"), small.file);
}

TEST_F(YencAssemblyTest, PartWithABadChecksumIsNotWrittenAndARepostCompletes)
{
    YencAssembly assembly(ledger);
    const Split s = split("p.jpg", 2000, 2, 7);
    std::vector<std::string> bad = s.parts[1];
    const std::size_t at = bad[3].find_first_not_of("=");
    bad[3][at] = static_cast<char>(bad[3][at] ^ 1);  // the size still holds, the pcrc32 not
    EXPECT_EQ(feedOne(assembly, s.parts[0], folder).outcome, Outcome::Stored);
    EXPECT_EQ(feedOne(assembly, bad, folder).outcome, Outcome::Refused);
    ASSERT_EQ(assembly.ledger().entries().size(), 1u);
    EXPECT_EQ(contents(assembly.ledger().entries()[0].path), s.file.substr(0, 1000));  // nothing past part 1
    EXPECT_FALSE(UniqueFileName::exists(folder + "p.jpg"));  // and nothing under its name yet
    EXPECT_EQ(feedOne(assembly, s.parts[1], folder).outcome, Outcome::Completed);
    EXPECT_EQ(contents(folder + "p.jpg"), s.file);
}

TEST_F(YencAssemblyTest, FileBegunInOneRunIsFinishedInTheNext)
{
    const Split s = split("run.jpg", 9000, 3, 8);
    {
        YencAssembly first(ledger);
        EXPECT_EQ(feedOne(first, s.parts[2], folder).outcome, Outcome::Stored);
        EXPECT_EQ(feedOne(first, s.parts[0], folder).outcome, Outcome::Stored);
    }
    YencAssembly second(ledger);
    ASSERT_EQ(second.ledger().entries().size(), 1u);
    EXPECT_EQ(feedOne(second, s.parts[0], folder).outcome, Outcome::Duplicate);
    const auto done = feedOne(second, s.parts[1], test::TestEnvironment::makeFolder("elsewhere-" + testName));
    EXPECT_EQ(done.outcome, Outcome::Completed);
    EXPECT_EQ(done.folder, folder);  // where the file was begun
    EXPECT_EQ(contents(folder + "run.jpg"), s.file);
    EXPECT_TRUE(YencAssembly(ledger).ledger().entries().empty());
}

TEST_F(YencAssemblyTest, TakenNameGetsTheLeadingOneOnceWhenTheFileIsBegun)
{
    std::ofstream(folder + "taken.jpg") << "someone else's";
    YencAssembly assembly(ledger);
    const Split s = split("taken.jpg", 3000, 3, 9);
    EXPECT_TRUE(SaveTarget::isWorkingName(feedOne(assembly, s.parts[1], folder).name));
    EXPECT_TRUE(SaveTarget::isWorkingName(feedOne(assembly, s.parts[0], folder).name));
    const auto done = feedOne(assembly, s.parts[2], folder);
    EXPECT_EQ(done.name, "1taken.jpg");
    EXPECT_EQ(contents(folder + "1taken.jpg"), s.file);
    EXPECT_EQ(contents(folder + "taken.jpg"), "someone else's");
    EXPECT_FALSE(UniqueFileName::exists(folder + "11taken.jpg"));
}

TEST_F(YencAssemblyTest, PartsBelongTogetherByNameSizeAndTotal)
{
    YencAssembly assembly(ledger);
    const Split a = split("same.jpg", 2000, 2, 10);
    const Split otherSize = split("same.jpg", 2002, 2, 11);
    EXPECT_EQ(feedOne(assembly, a.parts[0], folder).outcome, Outcome::Stored);
    EXPECT_EQ(feedOne(assembly, otherSize.parts[1], folder).outcome, Outcome::Stored);
    EXPECT_EQ(assembly.ledger().entries().size(), 2u);
    EXPECT_EQ(feedOne(assembly, a.parts[1], folder).name, "same.jpg");
    EXPECT_EQ(contents(folder + "same.jpg"), a.file);
    EXPECT_EQ(feedOne(assembly, otherSize.parts[0], folder).name, "1same.jpg");
}

TEST_F(YencAssemblyTest, WholeFileWhoseChecksumDisagreesIsNotCounted)
{
    YencAssembly assembly(ledger);
    const Split s = split("wrong.jpg", 2000, 2, 12);
    std::vector<std::vector<std::string>> parts = s.parts;
    for (auto& part : parts) {
        std::string& trailer = part.back();
        trailer = trailer.substr(0, trailer.rfind(" crc32=")) + " crc32=" + test::hex8(test::referenceCrc32(s.file) ^ 4);
    }
    EXPECT_EQ(feedOne(assembly, parts[0], folder).outcome, Outcome::Stored);
    const auto r = feedOne(assembly, parts[1], folder);
    EXPECT_EQ(r.outcome, Outcome::Corrupt);
    EXPECT_FALSE(r.counts());
    EXPECT_TRUE(assembly.ledger().entries().empty());
}

TEST_F(YencAssemblyTest, HalfMadeFileRemovedByTheUserIsBegunAgain)
{
    YencAssembly assembly(ledger);
    const Split s = split("gone.jpg", 2000, 2, 13);
    feedOne(assembly, s.parts[0], folder);
    ASSERT_EQ(::unlink(assembly.ledger().entries().front().path.c_str()), 0);
    EXPECT_EQ(feedOne(assembly, s.parts[1], folder).outcome, Outcome::Stored);
    EXPECT_EQ(feedOne(assembly, s.parts[0], folder).outcome, Outcome::Completed);
    EXPECT_EQ(contents(folder + "gone.jpg"), s.file);
}

TEST_F(YencAssemblyTest, HalfMadeFileReplacedBetweenPartsIsNeverWrittenThroughItsOldHandle)
{
    // The file of the first part stays open for the next one; what is at its path decides.
    const std::string outside = test::TestEnvironment::makeFolder("outside-" + testName) + "kept.txt";
    std::ofstream(outside) << "not the program's";
    {
        // A link to a file elsewhere: not followed, not written; the file is begun again.
        YencAssembly assembly(ledger);
        const Split s = split("linked.jpg", 3000, 3, 21);
        feedOne(assembly, s.parts[0], folder);
        const std::string working = assembly.ledger().entries().front().path;
        ASSERT_EQ(::unlink(working.c_str()), 0);
        ASSERT_EQ(::symlink(outside.c_str(), working.c_str()), 0);
        EXPECT_EQ(feedOne(assembly, s.parts[1], folder).outcome, Outcome::Stored);
        EXPECT_EQ(contents(outside), "not the program's");
        EXPECT_NE(assembly.ledger().entries().front().path, working);
        feedOne(assembly, s.parts[0], folder);
        EXPECT_EQ(feedOne(assembly, s.parts[2], folder).outcome, Outcome::Completed);
        EXPECT_EQ(contents(folder + "linked.jpg"), s.file);
        ::unlink(working.c_str());
    }
    {
        // Another working file put in its place: the parts go on into the file that is there.
        YencAssembly assembly(ledger + "-2");
        const Split s = split("swapped.jpg", 3000, 3, 22);
        feedOne(assembly, s.parts[0], folder);
        const std::string working = assembly.ledger().entries().front().path;
        std::string first = contents(working);
        ASSERT_EQ(::unlink(working.c_str()), 0);
        std::ofstream(working, std::ios::binary) << first;
        EXPECT_EQ(feedOne(assembly, s.parts[1], folder).outcome, Outcome::Stored);
        EXPECT_EQ(feedOne(assembly, s.parts[2], folder).outcome, Outcome::Completed);
        EXPECT_EQ(contents(folder + "swapped.jpg"), s.file);
    }
}

TEST_F(YencAssemblyTest, OverlappingOrOutOfFileRangesAreRefused)
{
    YencAssembly assembly(ledger);
    const Split s = split("o.jpg", 2000, 2, 14);
    feedOne(assembly, s.parts[0], folder);
    const std::vector<std::string> overlapping = test::yencPart("o.jpg", s.file, 2, 2, 500, 1500);
    EXPECT_EQ(feedOne(assembly, overlapping, folder).outcome, Outcome::Refused);
    const std::vector<std::string> outside{"=ybegin part=2 total=2 line=128 size=2000 name=o.jpg",
                                           "=ypart begin=1001 end=3000", "kkkk", "=yend size=4 part=2"};
    EXPECT_EQ(feedOne(assembly, outside, folder).outcome, Outcome::Refused);
    EXPECT_EQ(contents(assembly.ledger().entries().front().path), s.file.substr(0, 1000));
}

TEST_F(YencAssemblyTest, HugeAnnouncedPartIsRefusedWithoutTakingItsMemory)
{
    YencAssembly assembly(ledger);
    const std::vector<std::string> lines{"=ybegin part=1 total=2 line=128 size=4294967295 name=huge.jpg",
                                         "=ypart begin=1 end=4294967000", "kkkk", "=yend size=4 part=1"};
    EXPECT_EQ(feedOne(assembly, lines, folder).outcome, Outcome::Refused);
    EXPECT_FALSE(UniqueFileName::exists(folder + "huge.jpg"));
}

TEST_F(YencAssemblyTest, DamagedLedgerIsIgnored)
{
    const Split s = split("l.jpg", 2000, 2, 15);
    {
        YencAssembly first(ledger);
        feedOne(first, s.parts[0], folder);
    }
    const std::string good = contents(ledger);
    ASSERT_NE(good.find("file 2000 2 "), std::string::npos);
    const std::string overlap = good.substr(0, good.rfind("end\n")) + "part 2 10 20 00000000\nend\n";
    const std::string elsewhere = "nimbra yenc parts 1\nfile 10 2 - a.jpg relative/a.jpg\nend\n";
    for (const std::string& damaged : {good.substr(0, good.size() - 4), overlap, elsewhere, std::string("\x01\x02garbage"),
                                       good.substr(0, good.find("part ")) + "part x y z\nend\n"}) {
        ASSERT_TRUE(AtomicFile::write(ledger, damaged));
        YencAssembly reloaded(ledger);
        EXPECT_TRUE(reloaded.ledger().entries().empty()) << damaged;
    }
    ASSERT_TRUE(AtomicFile::write(ledger, good));
    YencAssembly reloaded(ledger);
    EXPECT_EQ(feedOne(reloaded, s.parts[1], folder).outcome, Outcome::Completed);
}

TEST_F(YencAssemblyTest, NamesWithBlanksAndOddBytesSurviveTheLedger)
{
    const std::string name = "my pic 100% \xE9t\xE9.jpg";
    const Split s = split(name, 2000, 2, 16);
    {
        YencAssembly first(ledger);
        feedOne(first, s.parts[0], folder);
    }
    YencAssembly second(ledger);
    const auto done = feedOne(second, s.parts[1], folder);
    EXPECT_EQ(done.outcome, Outcome::Completed);
    EXPECT_EQ(done.name, "my pic 100% \xC3\xA9t\xC3\xA9.jpg");  // Latin-1 read as such, saved as UTF-8
}

TEST_F(YencAssemblyTest, APartFromAnEarlierRunThatTheDiskLostFailsTheChecksum)
{
    const Split s = split("lost.jpg", 3000, 3, 17);
    {
        YencAssembly first(ledger);
        feedOne(first, s.parts[0], folder);
        feedOne(first, s.parts[1], folder);
    }
    YencAssembly second(ledger);
    const std::string working = second.ledger().entries().front().path;
    {
        std::fstream file(working, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(1500);
        const char byte = static_cast<char>(file.get() ^ 0x5A);
        file.seekp(1500);
        file.put(byte);  // inside the second part, written and recorded in the first run
    }
    const auto r = feedOne(second, s.parts[2], folder);
    EXPECT_EQ(r.outcome, Outcome::Corrupt);
    EXPECT_FALSE(r.counts());
}

TEST_F(YencAssemblyTest, PartsOfThisRunAndOfAnEarlierOneMakeTheWholeChecksum)
{
    const Split s = split("mixed.jpg", 5000, 5, 18);
    {
        YencAssembly first(ledger);
        feedOne(first, s.parts[3], folder);
        feedOne(first, s.parts[0], folder);
    }
    YencAssembly second(ledger);
    feedOne(second, s.parts[4], folder);
    feedOne(second, s.parts[2], folder);
    const auto r = feedOne(second, s.parts[1], folder);
    EXPECT_EQ(r.outcome, Outcome::Completed);
    EXPECT_EQ(contents(folder + "mixed.jpg"), s.file);
}

TEST_F(YencAssemblyTest, WithAWriterTheLedgerWaitsForItAndIsWrittenWhenTheAssemblyGoes)
{
    const Split s = split("later.jpg", 3000, 3, 19);
    LedgerWriter writer(std::chrono::hours(1));
    {
        YencAssembly assembly(ledger, &writer);
        feedOne(assembly, s.parts[0], folder);
        feedOne(assembly, s.parts[1], folder);
        EXPECT_TRUE(contents(ledger).empty());  // nothing written yet
        EXPECT_TRUE(writer.waiting());
    }
    EXPECT_FALSE(writer.waiting());
    YencAssembly reloaded(ledger);
    ASSERT_EQ(reloaded.ledger().entries().size(), 1u);
    EXPECT_EQ(reloaded.ledger().entries().front().parts.size(), 2u);
    EXPECT_EQ(feedOne(reloaded, s.parts[2], folder).outcome, Outcome::Completed);
    EXPECT_EQ(contents(folder + "later.jpg"), s.file);
}

} // namespace
} // namespace nimbra
