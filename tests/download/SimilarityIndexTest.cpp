#include "download/DifferenceHash.h"
#include "download/SimilarityIndex.h"

#include "tests/download/JpegSample.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QImage>

#include <random>
#include <set>

using namespace nimbra;
using nimbra::test::JpegSample;
using nimbra::test::TestEnvironment;

namespace {

using Groups = std::vector<std::vector<std::size_t>>;

std::uint64_t flipped(std::uint64_t hash, std::initializer_list<int> bits)
{
    for (const int bit : bits)
        hash ^= std::uint64_t{1} << bit;
    return hash;
}

// Random hashes with planted neighbours at every distance up to 20, spread over all four
// quarters so that a pair shares no quarter exactly.
std::vector<std::uint64_t> plantedHashes()
{
    std::mt19937_64 random(7);
    std::vector<std::uint64_t> hashes;
    for (int i = 0; i < 3000; ++i) {
        const std::uint64_t base = random();
        hashes.push_back(base);
        std::uint64_t near = base;
        const int distance = i % 21;
        for (int k = 0; k < distance; ++k)
            near ^= std::uint64_t{1} << ((k % 4) * 16 + (k / 4) * 3 + static_cast<int>(i % 3));
        hashes.push_back(near);
    }
    return hashes;
}

} // namespace

TEST(SimilarityIndex, FindsExactlyWhatComparingEveryPairFinds)
{
    const std::vector<std::uint64_t> hashes = plantedHashes();
    for (const int distance : {0, 3, 4, 5, 8, 12, 16}) {
        const SimilarityIndex index(hashes, distance);
        for (std::size_t probe = 0; probe < hashes.size(); probe += 7) {
            std::vector<std::size_t> expected;
            for (std::size_t id = 0; id < hashes.size(); ++id)
                if (SimilarityIndex::distance(hashes[id], hashes[probe]) <= distance)
                    expected.push_back(id);
            ASSERT_EQ(index.near(hashes[probe]), expected) << "distance " << distance << " probe " << probe;
        }
    }
}

TEST(SimilarityIndex, GroupsFollowChainsAndLeaveLonePicturesOut)
{
    const std::uint64_t a = 0x0123456789abcdefULL;
    const std::uint64_t far = ~a;
    // b is 4 bits from a, c 4 bits from b but 8 from a: one group through b.
    const std::uint64_t b = flipped(a, {0, 17, 33, 50});
    const std::uint64_t c = flipped(b, {2, 19, 35, 52});
    const SimilarityIndex index({far, a, 0x5555aaaa5555aaaaULL, c, b, a}, 5);
    EXPECT_EQ(index.groups(), (Groups{{1, 3, 4, 5}}));
}

TEST(SimilarityIndex, APairMarkedApartIsNoLink)
{
    const std::uint64_t a = 0x0f0f0f0f0f0f0f0fULL;
    const std::uint64_t b = flipped(a, {1, 2});
    const std::uint64_t d = 0x1234123412341234ULL;
    const std::uint64_t e = flipped(d, {9});
    const SimilarityIndex index({a, b, d, e, d}, 5);
    const auto apart = [](std::size_t x, std::size_t y) { return x == 0 && y == 1; };
    // 0 and 1 stay alone; 2, 3 and 4 are together (4 has the very hash of 2).
    EXPECT_EQ(index.groups(apart), (Groups{{2, 3, 4}}));
    const auto keepCopiesApart = [](std::size_t x, std::size_t y) { return x == 2 && y == 4; };
    // 2 and 4 are the same hash but marked apart; both still meet 3.
    EXPECT_EQ(index.groups(keepCopiesApart), (Groups{{0, 1}, {2, 3, 4}}));
    const SimilarityIndex pair({d, d}, 5);
    EXPECT_TRUE(pair.groups([](std::size_t, std::size_t) { return true; }).empty());
}

TEST(SimilarityIndex, NoHashesNoGroups)
{
    const SimilarityIndex index({}, 5);
    EXPECT_TRUE(index.groups().empty());
    EXPECT_TRUE(index.near(42).empty());
}

TEST(DifferenceHash, AScaledReencodedCopyStaysNearAndAnotherPictureDoesNot)
{
    TestEnvironment::makeFolder("pictures");
    const std::string folder = TestEnvironment::makeFolder("hashes");
    JpegSample::write(folder + "big.jpg", 1200, 900, {.quality = 92});
    QImage big(QString::fromStdString(folder + "big.jpg"));
    ASSERT_FALSE(big.isNull());
    big.scaled(400, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .save(QString::fromStdString(folder + "small.jpg"), "JPEG", 60);
    // Another picture: the same maker's texture mirrored.
    big.mirrored(true, false).save(QString::fromStdString(folder + "other.jpg"), "JPEG", 90);

    const auto original = DifferenceHash::ofFile(folder + "big.jpg");
    const auto copy = DifferenceHash::ofFile(folder + "small.jpg");
    const auto other = DifferenceHash::ofFile(folder + "other.jpg");
    ASSERT_TRUE(original && copy && other);
    EXPECT_LE(SimilarityIndex::distance(*original, *copy), 5);
    EXPECT_GT(SimilarityIndex::distance(*original, *other), 12);
    EXPECT_EQ(DifferenceHash::of(big), DifferenceHash::of(big.copy()));
}

TEST(DifferenceHash, BrightnessRisingToTheRightSetsEveryBit)
{
    QImage ramp(90, 80, QImage::Format_RGB32);
    for (int y = 0; y < ramp.height(); ++y)
        for (int x = 0; x < ramp.width(); ++x)
            ramp.setPixel(x, y, qRgb(x * 2, x * 2, x * 2));
    EXPECT_EQ(DifferenceHash::of(ramp), ~std::uint64_t{0});
    EXPECT_EQ(DifferenceHash::of(ramp.mirrored(true, false)), std::uint64_t{0});
}

TEST(DifferenceHash, WhatIsNoPictureHasNoHash)
{
    const std::string folder = TestEnvironment::makeFolder("nopicture");
    EXPECT_FALSE(DifferenceHash::of(QImage()));
    EXPECT_FALSE(DifferenceHash::ofFile(folder + "missing.jpg"));
    EXPECT_FALSE(DifferenceHash::ofFile(JpegSample::fileWith(folder, "not a picture at all")));
}
