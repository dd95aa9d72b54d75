#include "download/ContentHasher.h"
#include "tools/newsmodel/YencEncoder.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <random>
#include <thread>
#include <vector>
#include <string>

namespace nimbra {
namespace {

TEST(ContentHasher, PiecesOfAnySizeGiveTheDigestOfTheWholeAndEachFileStartsAfresh)
{
    ContentHasher hasher;
    hasher.update("abc", 3);
    EXPECT_EQ(ContentHasher::hex(hasher.finish().value()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(ContentHasher::hex(hasher.finish().value()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    std::mt19937 random(3);
    std::string bytes(400'000, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    hasher.update(bytes.data(), bytes.size());
    const ContentDigest whole = hasher.finish().value();
    // Line-sized pieces, empty ones, pieces that just fill or overflow what is gathered, and
    // pieces longer than that, in a mix.
    const std::size_t sizes[] = {57, 0, 1, 16383, 1, 16384, 45, 100'000, 16385, 3, 60'000};
    std::size_t at = 0;
    for (std::size_t k = 0; at < bytes.size(); ++k) {
        const std::size_t n = std::min(sizes[k % std::size(sizes)], bytes.size() - at);
        hasher.update(bytes.data() + at, n);
        at += n;
    }
    EXPECT_EQ(hasher.finish(), whole);
}

ContentDigest oneShot(const std::string& bytes)
{
    ContentDigest digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

// Large files are hashed on the program's hashing thread, which serves every hasher: files
// written side by side from several threads, in pieces that interleave, each get their own
// digest; one hasher moved while its bytes are being hashed, and one dropped unfinished, do
// no harm.
TEST(ContentHasher, LargeFilesFromSeveralThreadsAtOnceGetTheirOwnDigests)
{
    std::vector<std::thread> writers;
    std::vector<int> wrong(4, 0);
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([w, &wrong] {
            for (int file = 0; file < 6; ++file) {
                const std::string a = test::yencPayload(65536 * static_cast<std::size_t>(file) + 1000 * static_cast<std::size_t>(w), static_cast<unsigned>(w * 10 + file));
                const std::string b = test::yencPayload(3'000'000 + static_cast<std::size_t>(file), static_cast<unsigned>(100 + w * 10 + file));
                ContentHasher first;
                ContentHasher second;
                for (std::size_t at = 0; at < std::max(a.size(), b.size()); at += 40'000) {
                    if (at < a.size())
                        first.update(a.data() + at, std::min<std::size_t>(40'000, a.size() - at));
                    if (at < b.size())
                        second.update(b.data() + at, std::min<std::size_t>(40'000, b.size() - at));
                }
                ContentHasher moved(std::move(second));
                wrong[static_cast<std::size_t>(w)] += first.finish() != oneShot(a);
                wrong[static_cast<std::size_t>(w)] += moved.finish() != oneShot(b);
                ContentHasher dropped;
                dropped.update(b.data(), b.size());
            }
        });
    }
    for (std::thread& t : writers)
        t.join();
    EXPECT_EQ(wrong, (std::vector<int>(4, 0)));
}

// A hasher paused between pieces (a file waiting for a missing part) lets its gathering go and
// still gives the digest of everything handed in: paused with nothing gathered, with a few
// bytes, right after a hand-over to the hashing thread, and twice in a row.
TEST(ContentHasher, PausedBetweenPiecesHoldsNoGatheringAndGivesTheSameDigest)
{
    const std::string bytes = test::yencPayload(300'000, 7);
    ContentHasher hasher;
    hasher.pause();
    EXPECT_EQ(hasher.gatheringCapacity(), 0u);
    const std::size_t pieces[] = {10, 65'536 - 10, 1, 200'000, 0, 34'463};
    std::size_t at = 0;
    for (const std::size_t n : pieces) {
        hasher.update(bytes.data() + at, n);
        if (at == 0) {
            EXPECT_GT(hasher.gatheringCapacity(), 0u);  // a few bytes gathered
        }
        at += n;
        hasher.pause();
        EXPECT_EQ(hasher.gatheringCapacity(), 0u) << "after " << at << " bytes";
        hasher.pause();
    }
    ASSERT_EQ(at, bytes.size());
    EXPECT_EQ(hasher.finish(), oneShot(bytes));
    // The next file starts afresh.
    hasher.update("abc", 3);
    hasher.pause();
    EXPECT_EQ(ContentHasher::hex(hasher.finish().value()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

} // namespace
} // namespace nimbra
