// The pieces of split-file assembly on their own: the part counter in a subject and the
// ledger of unfinished files.
#include "download/PartCounter.h"
#include "download/SplitPartLedger.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>

namespace nimbra::test {
namespace {

std::string described(const std::optional<PartCounter::Counted>& c)
{
    if (!c)
        return "none";
    return "[" + c->stem + "] " + std::to_string(c->number) + "/" + std::to_string(c->total);
}

} // namespace

TEST(PartCounter, EveryCommonFormIsFoundAndTheStemIsWhatComesBefore)
{
    struct Case { const char* subject; const char* found; };
    for (const Case& c : {
             Case{"pic.jpg (1/3)", "[pic.jpg] 1/3"},
             Case{"pic.jpg (01/12)", "[pic.jpg] 1/12"},
             Case{"big.jpg (001/400) 12.3 KB", "[big.jpg] 1/400"},
             Case{"pic.jpg [2/3]", "[pic.jpg] 2/3"},
             Case{"pic.jpg - 3 of 3", "[pic.jpg] 3/3"},
             Case{"[2/5] - \"set.jpg\" yEnc (07/10)", "[[2/5] - \"set.jpg\" yEnc] 7/10"},
             Case{"(1/3)", "[] 1/3"},
         })
        EXPECT_EQ(described(PartCounter::find(c.subject)), c.found) << c.subject;
    for (const char* none : {"pic.jpg", "pic.jpg (0/3)", "pic.jpg (4/3)", "pic.jpg (1/3", "ratio 1/3", "x (1/9999999)",
                             "top10 of 20", ""})
        EXPECT_EQ(described(PartCounter::find(none)), "none") << none;
    // Every part of one post shares the stem, whatever the counter's width.
    EXPECT_EQ(PartCounter::find("a.jpg (099/400)")->stem, PartCounter::find("a.jpg (100/400)")->stem);
}

namespace {

SplitPartLedger::Entry entryOf(const std::string& key, std::int64_t created, const std::string& name,
                               std::map<std::uint32_t, std::string> parts)
{
    SplitPartLedger::Entry entry;
    entry.key = key;
    entry.total = 3;
    entry.created = created;
    entry.name = name;
    entry.parts = std::move(parts);
    return entry;
}

} // namespace

TEST(SplitPartLedger, EntriesSurviveASaveAndADamagedFileLoadsNothing)
{
    const std::string path = TestEnvironment::root() + "split-ledger";
    {
        SplitPartLedger ledger(path);
        SplitPartLedger::Entry& entry = ledger.add(entryOf("stem with blanks\nposter@x", 1700000000, "na me.jpg", {}));
        entry.parts[3] = "/tmp/.nimbra-0123456789abcdef.part";
        entry.joined = "/tmp/.nimbra-00000000000000ff.part";
        entry.joinedParts = 1;
        entry.joinedBytes = 12345678901;
        ASSERT_TRUE(ledger.save());
    }
    SplitPartLedger loaded(path);
    ASSERT_TRUE(loaded.load());
    ASSERT_EQ(loaded.entries().size(), 1u);
    EXPECT_EQ(loaded.entries()[0].key, "stem with blanks\nposter@x");
    EXPECT_EQ(loaded.entries()[0].name, "na me.jpg");
    EXPECT_EQ(loaded.entries()[0].parts.at(3), "/tmp/.nimbra-0123456789abcdef.part");
    EXPECT_EQ(loaded.entries()[0].joined, "/tmp/.nimbra-00000000000000ff.part");
    EXPECT_EQ(loaded.entries()[0].joinedParts, 1u);
    EXPECT_EQ(loaded.entries()[0].joinedBytes, 12345678901u);

    for (const char* damaged : {"nimbra split parts 1\nfile 3 1 k n\npart 4 /x\nend\n",  // part past the total
                                "nimbra split parts 1\nfile 0 1 k n\nend\n",              // no parts at all
                                "nimbra split parts 1\nfile 3 1 k n\npart 1 relative\nend\n",
                                "nimbra split parts 1\nfile 3 1 k n\npart 1 /a\npart 1 /b\nend\n",
                                "nimbra split parts 1\nfile 3 1 k n\njoined 4 9 /j\nend\n",  // joined past the total
                                "nimbra split parts 1\nfile 3 1 k n\njoined 2 9 /j\npart 2 /p\nend\n",  // joined and waiting
                                "nimbra split parts 1\nfile 3 1 k n\npart 1 /p\njoined 1 9 /j\nend\n",
                                "nimbra split parts 1\nfile 3 1 k n\njoined 1 9 j\nend\n",
                                "nimbra split parts 1\nfile 3 1 k n\njoined 1 9 /j\njoined 2 9 /k\nend\n",
                                "nimbra split parts 1\nfile 3 1 k n\n",                    // cut short
                                "nimbra split parts 1\nend\nfile 3 1 k n\n", "other 1\nend\n"}) {
        std::ofstream(path, std::ios::trunc) << damaged;
        SplitPartLedger ledger(path);
        EXPECT_FALSE(ledger.load()) << damaged;
        EXPECT_TRUE(ledger.entries().empty()) << damaged;
    }
}

TEST(SplitPartLedger, ExpiryDropsOldEntriesAndTheOldestPastTheLimit)
{
    SplitPartLedger ledger(TestEnvironment::root() + "split-expiry");
    ledger.add(entryOf("old", 100, "", {{2, "/old-part"}})).joined = "/old-joined";
    for (std::size_t i = 0; i < SplitPartLedger::MaxEntries + 1; ++i)
        ledger.add(entryOf("new" + std::to_string(i), 1000, "", {{1, "/p" + std::to_string(i)}}));
    const std::vector<std::string> dropped = ledger.expire(500);
    EXPECT_EQ(dropped, (std::vector<std::string>{"/old-joined", "/old-part", "/p0"}));
    EXPECT_EQ(ledger.entries().size(), SplitPartLedger::MaxEntries);
    EXPECT_EQ(ledger.entries().front().key, "new1");
}

} // namespace nimbra::test
