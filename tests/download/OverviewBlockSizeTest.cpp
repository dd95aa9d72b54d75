// The overview block follows the bytes of the last reply, within its bounds.
#include "download/OverviewBlockSize.h"

#include <gtest/gtest.h>

#include <limits>

namespace nimbra::test {
namespace {

using Size = OverviewBlockSize;

TEST(OverviewBlockSize, LongLinesShrinkTheBlockAndShortOnesGrowItAtMostFourfold)
{
    Size block;
    block.replied(5000, 10 * Size::TargetBytes);  // ten times the target
    EXPECT_EQ(block.size(), 500);
    block.replied(500, Size::TargetBytes / 4);  // a quarter: four times the numbers
    EXPECT_EQ(block.size(), 2000);
    block.replied(2000, 100);  // tiny: the growth is bounded per reply
    EXPECT_EQ(block.size(), 8000);
}

TEST(OverviewBlockSize, EmptyRepliesGrowItToTheLargestAndHugeOnesStopAtTheSmallest)
{
    Size block;
    for (int i = 0; i < 20; ++i)
        block.replied(block.size(), 0);
    EXPECT_EQ(block.size(), Size::Largest);
    block.replied(1, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(block.size(), Size::Smallest);
    block.replied(std::numeric_limits<std::int64_t>::max() / 2, 1);  // no overflow on a hostile count
    EXPECT_EQ(block.size(), Size::Smallest * 4);
}

TEST(OverviewBlockSize, AFixedSizeDoesNotAdaptUntilReleased)
{
    Size block;
    block.fix(3);
    block.replied(3, 100 * Size::TargetBytes);
    block.replied(3, 0);
    EXPECT_EQ(block.size(), 3);
    block.fix(0);
    EXPECT_EQ(block.size(), Size::Initial);
    block.replied(Size::Initial, 0);
    EXPECT_EQ(block.size(), 4 * Size::Initial);
}

} // namespace
} // namespace nimbra::test
