#include "mime/YencHeader.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

TEST(YencHeader, BeginNameIsTheRestOfTheLine)
{
    const auto begin = YencHeader::parseBegin("=ybegin part=3 total=10 line=128 size=512000 name=My  holiday = 1.jpg \r");
    ASSERT_TRUE(begin);
    EXPECT_EQ(begin->size, 512000u);
    EXPECT_EQ(begin->line, 128u);
    EXPECT_EQ(begin->part, 3u);
    EXPECT_EQ(begin->total, 10u);
    EXPECT_EQ(begin->name, "My  holiday = 1.jpg");
}

TEST(YencHeader, BeginKeepsAHostileNameForTheSavingRulesToJudge)
{
    const auto begin = YencHeader::parseBegin("=ybegin line=128 size=5 name=../../etc/passwd");
    ASSERT_TRUE(begin);
    EXPECT_EQ(begin->name, "../../etc/passwd");
    EXPECT_FALSE(begin->part);
}

TEST(YencHeader, BeginWithoutSizeOrNameOrWithABadNumberIsRefused)
{
    EXPECT_FALSE(YencHeader::parseBegin("=ybegin line=128 name=a.jpg"));
    EXPECT_FALSE(YencHeader::parseBegin("=ybegin line=128 size=10"));
    EXPECT_FALSE(YencHeader::parseBegin("=ybegin size=12x name=a.jpg"));
    EXPECT_FALSE(YencHeader::parseBegin("=ybegin size=99999999999999999999 name=a.jpg"));
    EXPECT_FALSE(YencHeader::parseBegin("=ybegin part=-1 size=10 name=a.jpg"));
    EXPECT_TRUE(YencHeader::parseBegin("=ybegin size=10 future=yes name=a.jpg"));
}

TEST(YencHeader, KeywordsStandAloneAtTheLineStart)
{
    EXPECT_TRUE(YencHeader::isBegin("=ybegin size=1 name=a"));
    EXPECT_TRUE(YencHeader::isEnd("=yend"));
    EXPECT_FALSE(YencHeader::isBegin("=ybeginning size=1 name=a"));
    EXPECT_FALSE(YencHeader::isBegin(" =ybegin size=1 name=a"));
    EXPECT_FALSE(YencHeader::isEnd("=YEND size=1"));
    EXPECT_FALSE(YencHeader::isPart("=yparty"));
}

TEST(YencHeader, PartRangeMustBeOrderedAndCountFromOne)
{
    const auto part = YencHeader::parsePart("=ypart begin=384001 end=768000");
    ASSERT_TRUE(part);
    EXPECT_EQ(part->begin, 384001u);
    EXPECT_EQ(part->end, 768000u);
    EXPECT_FALSE(YencHeader::parsePart("=ypart begin=0 end=10"));
    EXPECT_FALSE(YencHeader::parsePart("=ypart begin=11 end=10"));
    EXPECT_FALSE(YencHeader::parsePart("=ypart begin=1"));
}

TEST(YencHeader, EndReadsChecksumsInEitherCase)
{
    const auto end = YencHeader::parseEnd("=yend size=384000 part=1 pcrc32=BC8B3E2a crc32=0x00000fff");
    ASSERT_TRUE(end);
    EXPECT_EQ(end->size, 384000u);
    EXPECT_EQ(end->part, 1u);
    EXPECT_EQ(end->pcrc32, 0xBC8B3E2Au);
    EXPECT_EQ(end->crc32, 0xFFFu);
    const auto bare = YencHeader::parseEnd("=yend size=3");
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->pcrc32);
    EXPECT_FALSE(bare->crc32);
    EXPECT_FALSE(YencHeader::parseEnd("=yend size=3 crc32=123456789"));
    EXPECT_FALSE(YencHeader::parseEnd("=yend size=3 pcrc32=xyz"));
}

} // namespace
} // namespace nimbra
