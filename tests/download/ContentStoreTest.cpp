#include "download/ContentCheck.h"
#include "download/ContentStore.h"

#include "platform/AtomicFile.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nimbra;
using nimbra::test::TestEnvironment;

namespace {

ContentDigest digestOf(std::uint32_t n)
{
    ContentDigest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>((n >> ((i % 4) * 8)) + i * 31);
    return digest;
}

ContentStore::Entry entry(std::uint32_t n)
{
    ContentStore::Entry e;
    e.digest = digestOf(n);
    e.size = 1000 + n;
    e.time = 1700000000 + n;
    e.path = "/home/user/nimbra files/pictures/" + std::to_string(n) + ".jpg";
    e.messageId = "part" + std::to_string(n) + "@poster.example";
    e.group = "alt.binaries.pictures";
    return e;
}

void expectEntry(const std::optional<ContentStore::Entry>& found, std::uint32_t n)
{
    ASSERT_TRUE(found) << n;
    const ContentStore::Entry expected = entry(n);
    EXPECT_EQ(found->size, expected.size);
    EXPECT_EQ(found->time, expected.time);
    EXPECT_EQ(found->path, expected.path);
    EXPECT_EQ(found->messageId, expected.messageId);
    EXPECT_EQ(found->group, expected.group);
}

std::string savedStore(const std::string& path)
{
    ContentStore store(path);
    for (std::uint32_t n = 0; n < 50; ++n)
        store.add(entry(n));
    EXPECT_TRUE(store.save());
    std::string bytes;
    EXPECT_TRUE(AtomicFile::read(path, bytes));
    return bytes;
}

} // namespace

TEST(ContentStore, WhatIsWrittenIsReadBack)
{
    const std::string path = TestEnvironment::makeFolder("store") + "content-store";
    {
        ContentStore store(path);
        EXPECT_EQ(store.load(), ContentStore::Loaded::Empty);
        for (std::uint32_t n = 0; n < 1000; ++n)
            EXPECT_TRUE(store.add(entry(n)));
        EXPECT_FALSE(store.add(entry(7))) << "known content is added twice";
        EXPECT_TRUE(store.setDifferenceHash(digestOf(5), 0xfedcba9876543210ULL));
        EXPECT_FALSE(store.setDifferenceHash(digestOf(5000), 1));
        store.markApart(digestOf(1), digestOf(2));
        ASSERT_TRUE(store.save());
        EXPECT_FALSE(store.changed());
    }
    ContentStore again(path);
    ASSERT_EQ(again.load(), ContentStore::Loaded::Read);
    EXPECT_EQ(again.size(), 1000u);
    for (const std::uint32_t n : {0u, 5u, 999u})
        expectEntry(again.find(digestOf(n)), n);
    EXPECT_EQ(again.find(digestOf(5))->differenceHash, 0xfedcba9876543210ULL);
    EXPECT_FALSE(again.find(digestOf(6))->differenceHash);
    EXPECT_FALSE(again.find(digestOf(1000)));
    EXPECT_TRUE(again.apart(digestOf(2), digestOf(1)));
    EXPECT_FALSE(again.apart(digestOf(1), digestOf(3)));
    EXPECT_EQ(again.at(0).path, entry(0).path);

    // A copy (as the "Similar" view takes) knows the same, and goes its own way.
    ContentStore copy(again);
    EXPECT_EQ(copy.size(), 1000u);
    for (const std::uint32_t n : {0u, 5u, 999u})
        expectEntry(copy.find(digestOf(n)), n);
    EXPECT_TRUE(copy.apart(digestOf(1), digestOf(2)));
    EXPECT_TRUE(copy.add(entry(1000)));
    EXPECT_FALSE(again.find(digestOf(1000)));
    again = copy;
    expectEntry(again.find(digestOf(1000)), 1000);
}

TEST(ContentStore, AStoreThatIsALinkIsNotFollowed)
{
    const std::string folder = TestEnvironment::makeFolder("linked");
    const std::string elsewhere = savedStore(folder + "elsewhere");
    std::filesystem::create_symlink(folder + "elsewhere", folder + "content-store");
    ContentStore store(folder + "content-store");
    EXPECT_EQ(store.load(), ContentStore::Loaded::Empty);
    EXPECT_FALSE(store.find(digestOf(3)));
    store.add(entry(60));
    ASSERT_TRUE(store.save());
    std::string bytes;
    ASSERT_TRUE(AtomicFile::read(folder + "elsewhere", bytes));
    EXPECT_EQ(bytes, elsewhere) << "the file the link named was written";
    EXPECT_FALSE(std::filesystem::is_symlink(folder + "content-store"));
}

TEST(ContentStore, ADamagedStoreIsSetAsideAndANewOneStarted)
{
    const std::string folder = TestEnvironment::makeFolder("damaged");
    const std::string good = savedStore(folder + "good");
    std::string flipped = good;
    flipped[good.size() / 2] ^= 0x10;
    std::string wrongCount = good;
    wrongCount[16] = 0x7f;  // the number of records
    const std::vector<std::pair<const char*, std::string>> damages{
        {"truncated", good.substr(0, good.size() - 9)}, {"one bit flipped", flipped},
        {"another program's file", "name=value\n"}, {"counts that do not fit", wrongCount}};
    for (const auto& [what, bytes] : damages) {
        const std::string path = folder + "content-store";
        ASSERT_TRUE(AtomicFile::write(path, bytes));
        ContentStore store(path);
        ASSERT_EQ(store.load(), ContentStore::Loaded::SetAside) << what;
        EXPECT_EQ(store.size(), 0u) << what;
        std::string aside;
        ASSERT_TRUE(AtomicFile::read(store.setAsidePath(), aside)) << what;
        EXPECT_EQ(aside, bytes) << what;
        EXPECT_FALSE(std::filesystem::exists(path)) << what;
        // The new store is written and read as any other.
        store.add(entry(3));
        ASSERT_TRUE(store.save());
        ContentStore next(path);
        EXPECT_EQ(next.load(), ContentStore::Loaded::Read) << what;
        expectEntry(next.find(digestOf(3)), 3);
        std::filesystem::remove(store.setAsidePath());
        std::filesystem::remove(path);
    }
}

// "Not similar" is kept at once in a small file beside the store, which the store takes in
// when it is next read and written; a damaged one is set aside and the store read as it is.
TEST(ContentStore, PairsSetApartAreKeptBesideTheStoreUntilItIsWritten)
{
    const std::string path = TestEnvironment::makeFolder("apart") + "content-store";
    savedStore(path);
    std::string before;
    ASSERT_TRUE(AtomicFile::read(path, before));
    {
        ContentStore store(path);
        ASSERT_EQ(store.load(), ContentStore::Loaded::Read);
        store.markApart(digestOf(1), digestOf(2));
        ASSERT_TRUE(store.saveApart());
    }
    std::string after;
    ASSERT_TRUE(AtomicFile::read(path, after));
    EXPECT_EQ(after, before) << "the store itself was written";
    {
        ContentStore store(path);
        ASSERT_EQ(store.load(), ContentStore::Loaded::Read);
        EXPECT_TRUE(store.apart(digestOf(2), digestOf(1)));
        EXPECT_FALSE(store.apart(digestOf(1), digestOf(3)));
        EXPECT_TRUE(store.changed()) << "the pairs would never reach the store";
        ASSERT_TRUE(store.save());
        EXPECT_FALSE(std::filesystem::exists(store.apartPath()));
    }
    ContentStore written(path);
    ASSERT_EQ(written.load(), ContentStore::Loaded::Read);
    EXPECT_TRUE(written.apart(digestOf(1), digestOf(2)));
    EXPECT_FALSE(written.changed());

    // Damaged: cut short, and another program's file.
    for (const std::string& bytes : {std::string("name=value\n"), std::string()}) {
        ContentStore store(path);
        store.load();
        store.markApart(digestOf(4), digestOf(5));
        ASSERT_TRUE(store.saveApart());
        std::string apart;
        ASSERT_TRUE(AtomicFile::read(store.apartPath(), apart));
        ASSERT_TRUE(AtomicFile::write(store.apartPath(), bytes.empty() ? apart.substr(0, apart.size() - 1) : bytes));
        ContentStore reread(path);
        ASSERT_EQ(reread.load(), ContentStore::Loaded::Read);
        EXPECT_EQ(reread.size(), 50u);
        EXPECT_TRUE(reread.apart(digestOf(1), digestOf(2)));
        EXPECT_FALSE(reread.apart(digestOf(4), digestOf(5)));
        EXPECT_FALSE(std::filesystem::exists(reread.apartPath())) << "the damaged file was left in the way";
    }
}

TEST(ContentStore, WhenFullTheOldestEighthIsForgotten)
{
    ContentStore store(TestEnvironment::makeFolder("full") + "content-store");
    const auto count = static_cast<std::uint32_t>(ContentStore::MaxEntries);
    for (std::uint32_t n = 0; n < count; ++n)
        store.add(entry(n));
    EXPECT_EQ(store.size(), ContentStore::MaxEntries);
    store.add(entry(count));
    EXPECT_EQ(store.size(), ContentStore::MaxEntries - ContentStore::MaxEntries / 8 + 1);
    EXPECT_FALSE(store.find(digestOf(0)));
    EXPECT_FALSE(store.find(digestOf(count / 8 - 1)));
    // What stays keeps its texts, and what comes after is found.
    expectEntry(store.find(digestOf(count / 8)), count / 8);
    expectEntry(store.find(digestOf(count / 2)), count / 2);
    expectEntry(store.find(digestOf(count)), count);
}

TEST(ContentCheck, TheMessageIdComesFromTheHeaderOnly)
{
    EXPECT_EQ(ContentCheck::messageIdOf("From: a\r\nMessage-ID: <pic1@poster.example>\r\n\r\nbody\r\n"),
              "pic1@poster.example");
    EXPECT_EQ(ContentCheck::messageIdOf("message-id:   <x@y> \nSubject: s\n\n"), "x@y");
    EXPECT_EQ(ContentCheck::messageIdOf("Subject: s\r\n\r\nMessage-ID: <in@body>\r\n"), "");
    EXPECT_EQ(ContentCheck::messageIdOf("Message-IDs: <no@field>\r\n\r\n"), "");
    EXPECT_EQ(ContentCheck::messageIdOf(""), "");
}
