#include "download/PrefixHasher.h"
#include "tests/support/TestEnvironment.h"
#include "tools/newsmodel/YencEncoder.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <fstream>
#include <string>
#include <vector>

namespace nimbra {
namespace {

ContentDigest oneShot(const std::string& bytes)
{
    ContentDigest digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

YencPartLedger::Part part(std::uint64_t begin, std::uint64_t end)
{
    return {std::nullopt, begin, end, 0, true};
}

// A long harvest keeps a hasher for every unfinished multi-part file (up to the ledger's 500):
// between parts none of them may hold its gathering memory, and each file still gets the
// digest of its bytes, whether its parts come in order or the later ones first (read back from
// the file then).
TEST(PrefixHasher, UnfinishedFilesHoldNoGatheringBetweenPartsAndFinishWithTheirDigest)
{
    const std::string folder = test::TestEnvironment::makeFolder("prefix-hasher");
    std::vector<std::string> files;
    std::vector<PrefixHasher> hashers(YencPartLedger::MaxEntries);
    for (std::size_t i = 0; i < hashers.size(); ++i) {
        files.push_back(test::yencPayload(30'000 + i, static_cast<unsigned>(i)));
        hashers[i].written(folder + "unused", {part(0, 10'000)}, 0, files[i].data(), 10'000);
        ASSERT_EQ(hashers[i].gatheringCapacity(), 0u) << "file " << i;
    }

    // In order: the rest of file 0 as two more parts.
    const std::string& a = files[0];
    hashers[0].written(folder + "unused", {part(0, 10'000), part(10'000, 20'000)}, 10'000, a.data() + 10'000, 10'000);
    EXPECT_EQ(hashers[0].gatheringCapacity(), 0u);
    hashers[0].written(folder + "unused", {part(0, 10'000), part(10'000, 20'000), part(20'000, a.size())}, 20'000,
                       a.data() + 20'000, a.size() - 20'000);
    EXPECT_EQ(hashers[0].digest(a.size()), oneShot(a));

    // Out of order: the third part of file 1 was written to its file before the second came.
    const std::string& b = files[1];
    const std::string path = folder + "file-1";
    std::ofstream(path, std::ios::binary) << b;
    hashers[1].written(path, {part(0, 10'000), part(20'000, b.size()), part(10'000, 20'000)}, 10'000,
                       b.data() + 10'000, 10'000);
    EXPECT_EQ(hashers[1].gatheringCapacity(), 0u);
    EXPECT_EQ(hashers[1].digest(b.size()), oneShot(b));

    // One still missing its end gives no digest.
    EXPECT_EQ(hashers[2].digest(files[2].size()), std::nullopt);
}

} // namespace
} // namespace nimbra
