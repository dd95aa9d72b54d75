#include "download/ContentHasher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace nimbra {
namespace {

TEST(ContentHasher, PiecesOfAnySizeGiveTheDigestOfTheWholeAndEachFileStartsAfresh)
{
    ContentHasher hasher;
    hasher.update("abc", 3);
    EXPECT_EQ(ContentHasher::hex(hasher.finish()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(ContentHasher::hex(hasher.finish()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    std::mt19937 random(3);
    std::string bytes(400'000, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    hasher.update(bytes.data(), bytes.size());
    const ContentDigest whole = hasher.finish();
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

} // namespace
} // namespace nimbra
