#include "download/YencPartLedger.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

YencPartLedger::Entry entry(const std::string& name)
{
    YencPartLedger::Entry e;
    e.name = name;
    e.size = 100;
    e.total = 2;
    e.path = "/nowhere/" + name;
    e.parts.push_back({1, 0, 50, 0x1234abcd});
    return e;
}

TEST(YencPartLedger, SavedEntriesLoadBackAsTheyWere)
{
    const std::string path = test::TestEnvironment::root() + "ledger-roundtrip";
    YencPartLedger ledger(path);
    YencPartLedger::Entry odd = entry("with blanks, 100% and \t\xff");
    odd.total = 0;
    odd.crc32 = 0xdeadbeef;
    odd.parts.push_back({std::nullopt, 60, 100, 0});
    ledger.add(odd);
    ledger.add(entry("plain.jpg"));
    ASSERT_TRUE(ledger.save());

    YencPartLedger loaded(path);
    ASSERT_TRUE(loaded.load());
    ASSERT_EQ(loaded.entries().size(), 2u);
    const YencPartLedger::Entry* back = loaded.find(odd.name, 100, 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->crc32, 0xdeadbeefu);
    EXPECT_EQ(back->path, odd.path);
    ASSERT_EQ(back->parts.size(), 2u);
    EXPECT_FALSE(back->parts[1].number);
    EXPECT_EQ(back->parts[1].begin, 60u);
    EXPECT_EQ(back->parts[0].crc, 0x1234abcdu);
    EXPECT_EQ(back->received(), 90u);
    EXPECT_EQ(loaded.find("plain.jpg", 100, 3), nullptr);  // the total is part of the key
}

TEST(YencPartLedger, LongestUntouchedEntriesGoFirstWhenFull)
{
    YencPartLedger ledger(test::TestEnvironment::root() + "ledger-full");
    for (std::size_t i = 0; i < YencPartLedger::MaxEntries; ++i)
        ledger.add(entry("f" + std::to_string(i)));
    ledger.touch(*ledger.find("f0", 100, 2));
    ledger.add(entry("newest"));
    EXPECT_EQ(ledger.entries().size(), YencPartLedger::MaxEntries);
    EXPECT_NE(ledger.find("f0", 100, 2), nullptr);
    EXPECT_EQ(ledger.find("f1", 100, 2), nullptr);
    EXPECT_NE(ledger.find("newest", 100, 2), nullptr);
}

TEST(YencPartLedger, MissingFileLoadsNothing)
{
    YencPartLedger ledger(test::TestEnvironment::root() + "no-such-ledger");
    EXPECT_FALSE(ledger.load());
    EXPECT_TRUE(ledger.entries().empty());
}

} // namespace
} // namespace nimbra
