#include "net/NntpDateTime.h"
#include "net/NntpReply.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

TEST(NntpReply, NumbersAreReadInTurnAndSaturate)
{
    const std::string line = " \t211 +12 -7 x 2147483648 -2147483649 99999999999999999999";
    std::size_t pos = 0;
    EXPECT_EQ(NntpReply::readNumber(line, pos), 211);
    EXPECT_EQ(NntpReply::readNumber(line, pos), 12);
    EXPECT_EQ(NntpReply::readNumber(line, pos), -7);
    EXPECT_EQ(NntpReply::readNumber(line, pos), 0);  // "x": no digits, and the reader stays there
    ++pos;
    EXPECT_EQ(NntpReply::readNumber(line, pos), 2147483647);
    EXPECT_EQ(NntpReply::readNumber(line, pos), -2147483647 - 1);
    EXPECT_EQ(NntpReply::readNumber(line, pos), 2147483647);
    EXPECT_EQ(pos, line.size());
    EXPECT_EQ(NntpReply::readNumber(line, pos), 0);
}

TEST(NntpReply, ArticleNumbersAreSixtyFourBitAndStrict)
{
    const std::string line = "211 0 2147483648\t9223372036854775807 alt.test";
    std::size_t pos = 3;
    std::int64_t value = -1;
    ASSERT_TRUE(NntpReply::readArticleNumber(line, pos, value));
    EXPECT_EQ(value, 0);
    ASSERT_TRUE(NntpReply::readArticleNumber(line, pos, value));
    EXPECT_EQ(value, 2147483648);
    ASSERT_TRUE(NntpReply::readArticleNumber(line, pos, value));
    EXPECT_EQ(value, INT64_MAX);
    EXPECT_FALSE(NntpReply::readArticleNumber(line, pos, value));  // "alt.test"
    EXPECT_EQ(value, INT64_MAX);

    for (const std::string bad : {"", "  ", "-1", "+1", "12x", "9223372036854775808", "99999999999999999999999"}) {
        pos = 0;
        value = 7;
        EXPECT_FALSE(NntpReply::readArticleNumber(bad, pos, value)) << bad;
        EXPECT_EQ(value, 7) << bad;
    }
}

TEST(NntpReply, MessageIdWithoutBrackets)
{
    EXPECT_EQ(NntpReply::readMessageId("220 1 <a@b> article", 5), "a@b");
    EXPECT_EQ(NntpReply::readMessageId("220 1 no id", 5), "");
    EXPECT_EQ(NntpReply::readMessageId("220 1 <open@end", 5), "open@end");
    EXPECT_EQ(NntpReply::readMessageId("223 <>", 3), "");
}

TEST(NntpReply, DatesOfFourteenCharactersThatFormARealMoment)
{
    double when = -1;
    ASSERT_TRUE(NntpReply::readDate("20011231235959", when));
    EXPECT_DOUBLE_EQ(when, 37256 + 86399 / 86400.0);  // 31 December 2001 is day 37256
    when = -1;
    EXPECT_FALSE(NntpReply::readDate("200112312359", when));
    EXPECT_FALSE(NntpReply::readDate("20010229120000", when));  // 2001 has no 29 February
    EXPECT_FALSE(NntpReply::readDate("20011231246000", when));
    EXPECT_FALSE(NntpReply::readDate("abcdefghijklmn", when));
    EXPECT_EQ(when, -1);
    EXPECT_TRUE(NntpReply::readDate("20000229000000", when));
}

TEST(NntpDateTime, CommandTextRoundTrips)
{
    EXPECT_EQ(NntpDateTime::commandText(NntpDateTime::encode(2001, 12, 31, 23, 59, 59)), "011231 235959");
    EXPECT_EQ(NntpDateTime::commandText(NntpDateTime::encode(1999, 1, 2, 3, 4, 5)), "990102 030405");
    EXPECT_EQ(NntpDateTime::encode(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_EQ(NntpDateTime::commandText(0).size(), 13u);  // now
}

} // namespace
} // namespace nimbra
