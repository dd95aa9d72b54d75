// The split assembly's files on disk: parts in order written once into the joined file, parts
// ahead of a gap waiting on their own until it fills, and the ledger's word holding over a
// restart and over a crash between a write and its record.
#include "download/SaveTarget.h"
#include "download/SplitAssembly.h"
#include "tests/download/SaverFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

// A file of `count` parts of different sizes, and the parts.
struct Split {
    std::string whole;
    Strings parts;
    explicit Split(int count, int seed = 0)
    {
        for (int n = 1; n <= count; ++n) {
            parts.push_back(bytesOf(static_cast<std::size_t>(700 + 37 * n), seed + n));
            whole += parts.back();
        }
    }
};

struct Assembling {
    static inline int made = 0;
    std::string folder = TestEnvironment::makeFolder("assembly" + std::to_string(++made));
    std::string ledger = folder + "ledger";
    SaveTarget target{folder, folder};
    std::unique_ptr<SplitAssembly> assembly = std::make_unique<SplitAssembly>(ledger);

    std::optional<SplitAssembly::Whole> keep(const Split& split, std::uint32_t number)
    {
        return assembly->keep(target, "file\nposter", number, static_cast<std::uint32_t>(split.parts.size()),
                              number == 1 ? "file.bin" : "", split.parts[number - 1]);
    }
    Strings workingFiles() const
    {
        Strings names;
        for (const std::string& entry : entriesIn(folder)) {
            if (SaveTarget::isWorkingName(entry))
                names.push_back(entry);
        }
        return names;
    }
    void restart()
    {
        assembly.reset();
        assembly = std::make_unique<SplitAssembly>(ledger);
    }
};

} // namespace

TEST(SplitAssembly, PartsInOrderGrowOneJoinedFileAndNoFileOfTheirOwn)
{
    Assembling a;
    const Split split(5);
    std::string joined;
    for (std::uint32_t n = 1; n <= 4; ++n) {
        EXPECT_FALSE(a.keep(split, n));
        ASSERT_EQ(a.workingFiles().size(), 1u) << "after part " << n;
        const SplitPartLedger::Entry& entry = a.assembly->ledger().entries().at(0);
        EXPECT_EQ(entry.joinedParts, n);
        EXPECT_TRUE(entry.parts.empty());
        joined += split.parts[n - 1];
        EXPECT_EQ(readFile(entry.joined), joined);
    }
    const auto whole = a.keep(split, 5);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->name, "file.bin");
    EXPECT_EQ(readFile(whole->workingPath), split.whole);
    EXPECT_TRUE(a.assembly->ledger().entries().empty());
    EXPECT_FALSE(a.keep(split, 5)) << "a part of a finished file starts a new one, never the old file";
}

TEST(SplitAssembly, PartsAheadOfAGapWaitUntilItFillsAndRepeatsAreDropped)
{
    Assembling a;
    const Split split(6);
    for (std::uint32_t n : {1u, 3u, 5u, 4u, 3u, 1u})
        EXPECT_FALSE(a.keep(split, n)) << n;
    const SplitPartLedger::Entry& entry = a.assembly->ledger().entries().at(0);
    EXPECT_EQ(entry.joinedParts, 1u);
    EXPECT_EQ(entry.parts.size(), 3u);
    EXPECT_EQ(a.workingFiles().size(), 4u);  // the joined file and parts 3, 4, 5

    EXPECT_FALSE(a.keep(split, 2));  // fills the gap: 3, 4 and 5 move in
    EXPECT_EQ(a.assembly->ledger().entries().at(0).joinedParts, 5u);
    EXPECT_EQ(a.workingFiles().size(), 1u);
    const auto whole = a.keep(split, 6);
    ASSERT_TRUE(whole);
    EXPECT_EQ(readFile(whole->workingPath), split.whole);
}

TEST(SplitAssembly, ARestartGoesOnFromTheJoinedAndTheWaitingParts)
{
    Assembling a;
    const Split split(5);
    a.keep(split, 1);
    a.keep(split, 2);
    a.keep(split, 4);
    a.restart();
    ASSERT_EQ(a.assembly->ledger().entries().size(), 1u);
    EXPECT_EQ(a.assembly->ledger().entries()[0].joinedParts, 2u);
    EXPECT_FALSE(a.keep(split, 3));
    a.restart();
    const auto whole = a.keep(split, 5);
    ASSERT_TRUE(whole);
    EXPECT_EQ(readFile(whole->workingPath), split.whole);
}

TEST(SplitAssembly, BytesWrittenButNeverRecordedAreCutOffAfterACrash)
{
    Assembling a;
    const Split split(4);
    a.keep(split, 1);
    a.keep(split, 2);
    const std::string recorded = a.ledger + ".recorded";
    std::filesystem::copy_file(a.ledger, recorded);
    a.keep(split, 3);  // written, but the crash comes before its record
    a.assembly.reset();
    std::filesystem::copy_file(recorded, a.ledger, std::filesystem::copy_options::overwrite_existing);

    a.restart();
    EXPECT_FALSE(a.keep(split, 3));  // fetched again, since it was never recorded
    const auto whole = a.keep(split, 4);
    ASSERT_TRUE(whole);
    EXPECT_EQ(readFile(whole->workingPath), split.whole);
}

TEST(SplitAssembly, AJoinedFileShorterThanItsRecordIsNeverNamedAndItsPartsComeAgain)
{
    Assembling a;
    const Split split(3);
    a.keep(split, 1);
    a.keep(split, 2);
    const std::string joined = a.assembly->ledger().entries()[0].joined;
    a.restart();
    std::filesystem::resize_file(joined, 10);  // the disk lost what was written
    EXPECT_FALSE(a.keep(split, 3));
    EXPECT_FALSE(std::filesystem::exists(joined));
    EXPECT_EQ(a.assembly->ledger().entries()[0].joinedParts, 0u);
    EXPECT_FALSE(a.keep(split, 1));
    const auto whole = a.keep(split, 2);  // part 3 waited on its own and moves in
    ASSERT_TRUE(whole);
    EXPECT_EQ(readFile(whole->workingPath), split.whole);
}

TEST(SplitAssembly, AJoinedFileOutsideTheDownloadFolderIsNeitherWrittenNorDeleted)
{
    Assembling a;
    const std::string outside = TestEnvironment::makeFolder("outside-joined");
    const std::string decoy = outside + ".nimbra-00000000000000aa.part";
    std::ofstream(decoy) << "the user's own bytes";
    std::ofstream(a.ledger) << "nimbra split parts 1\nfile 2 9999999999 file%0Aposter file.bin\njoined 1 5 " << decoy
                            << "\nend\n";
    a.restart();
    const Split split(2);
    EXPECT_FALSE(a.keep(split, 2));
    EXPECT_EQ(readFile(decoy), "the user's own bytes");
    const auto whole = a.keep(split, 1);
    ASSERT_TRUE(whole);
    EXPECT_EQ(readFile(whole->workingPath), split.whole);
    EXPECT_EQ(readFile(decoy), "the user's own bytes");
}

} // namespace nimbra::test
