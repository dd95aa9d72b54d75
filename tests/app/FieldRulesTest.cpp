#include "app/FieldRules.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

TEST(FieldRules, NumberTakesSignedDecimalsThatFitOnly)
{
    EXPECT_EQ(FieldRules::number("0"), 0);
    EXPECT_EQ(FieldRules::number("00120"), 120);
    EXPECT_EQ(FieldRules::number("-5"), -5);
    EXPECT_EQ(FieldRules::number("+7"), 7);
    EXPECT_EQ(FieldRules::number("2147483647"), 2147483647);
    for (const char* text : {"", "+", "-", "++1", "12a", " 12", "2147483648", "1.5", "0x10"})
        EXPECT_FALSE(FieldRules::number(text)) << text;
}

TEST(FieldRules, TimeoutKeepsTenToSixHundred)
{
    EXPECT_EQ(FieldRules::timeout("9"), "20");
    EXPECT_EQ(FieldRules::timeout("10"), "10");
    EXPECT_EQ(FieldRules::timeout("600"), "600");
    EXPECT_EQ(FieldRules::timeout("601"), "20");
    EXPECT_EQ(FieldRules::timeout(""), "20");
    EXPECT_EQ(FieldRules::timeout("x"), "20");
}

TEST(FieldRules, CacheKeepsTwoToTenThousand)
{
    EXPECT_EQ(FieldRules::cache("1"), "2000");
    EXPECT_EQ(FieldRules::cache("2"), "2");
    EXPECT_EQ(FieldRules::cache("10000"), "10000");
    EXPECT_EQ(FieldRules::cache("10001"), "2000");
    EXPECT_EQ(FieldRules::cache(""), "2000");
}

TEST(FieldRules, PipelineKeepsOneToSixtyFour)
{
    EXPECT_EQ(FieldRules::pipeline("0"), "16");
    EXPECT_EQ(FieldRules::pipeline("1"), "1");
    EXPECT_EQ(FieldRules::pipeline("64"), "64");
    EXPECT_EQ(FieldRules::pipeline("65"), "16");
    EXPECT_EQ(FieldRules::pipeline(""), "16");
}

TEST(FieldRules, ConnectionsKeepOneToFifty)
{
    EXPECT_EQ(FieldRules::connections("0"), "4");
    EXPECT_EQ(FieldRules::connections("1"), "1");
    EXPECT_EQ(FieldRules::connections("50"), "50");
    EXPECT_EQ(FieldRules::connections("51"), "4");
    EXPECT_EQ(FieldRules::connections(""), "4");
}

TEST(FieldRules, MinimumMustStayBelowTheMaximum)
{
    EXPECT_EQ(FieldRules::minimumLeft({"300", "200"}).minimum, "0");
    EXPECT_EQ(FieldRules::minimumLeft({"200", "200"}).minimum, "0");
    EXPECT_EQ(FieldRules::minimumLeft({"199", "200"}).minimum, "199");
    EXPECT_EQ(FieldRules::minimumLeft({"", "200"}).minimum, "0");
    EXPECT_EQ(FieldRules::minimumLeft({"-1", "200"}).minimum, "0");
    EXPECT_EQ(FieldRules::minimumLeft({"50001", "60000"}).minimum, "0");
    // Nothing to compare with: the safe minimum.
    EXPECT_EQ(FieldRules::minimumLeft({"10", ""}).minimum, "0");
    EXPECT_EQ(FieldRules::minimumLeft({"10", "200"}).maximum, "200");
}

TEST(FieldRules, MaximumFallsBackAndPullsTheMinimumDown)
{
    EXPECT_EQ(FieldRules::maximumLeft({"0", "0"}).maximum, "200");
    EXPECT_EQ(FieldRules::maximumLeft({"0", "50001"}).maximum, "200");
    EXPECT_EQ(FieldRules::maximumLeft({"0", "50000"}).maximum, "50000");
    EXPECT_EQ(FieldRules::maximumLeft({"0", "1"}).maximum, "1");

    const auto lowered = FieldRules::maximumLeft({"80", "50"});
    EXPECT_EQ(lowered.maximum, "50");
    EXPECT_EQ(lowered.minimum, "0");
    const auto kept = FieldRules::maximumLeft({"49", "50"});
    EXPECT_EQ(kept.minimum, "49");
    // The fallback maximum is what the minimum is compared with.
    const auto fallback = FieldRules::maximumLeft({"150", ""});
    EXPECT_EQ(fallback.maximum, "200");
    EXPECT_EQ(fallback.minimum, "150");
}

TEST(FieldRules, PortOnLoadIsDigitsOnly)
{
    EXPECT_EQ(FieldRules::port("119"), "119");
    EXPECT_EQ(FieldRules::port("65535"), "65535");
    EXPECT_EQ(FieldRules::port(""), "119");
    EXPECT_EQ(FieldRules::port("12a"), "119");
    EXPECT_EQ(FieldRules::port("123456"), "119");
}

} // namespace
} // namespace nimbra
