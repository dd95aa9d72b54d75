// The subject filters of the overview walk.
#include "download/SubjectFilter.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

TEST(SubjectFilter, MatchAndExcludeTogether)
{
    SubjectFilter filter;
    EXPECT_TRUE(filter.passes("anything"));
    filter.set("\\.jpe?g", "(?i)sample");
    EXPECT_TRUE(filter.passes("holiday.jpg (1/1)"));
    EXPECT_FALSE(filter.passes("holiday.png (1/1)"));
    EXPECT_FALSE(filter.passes("SAMPLE holiday.jpeg"));
    filter.set("", "^Re:");
    EXPECT_TRUE(filter.passes("holiday.png"));
    EXPECT_FALSE(filter.passes("Re: holiday.png"));
}

TEST(SubjectFilter, InvalidExpressionIsNamedAndFiltersNothing)
{
    EXPECT_EQ(SubjectFilter::problem(""), "");
    EXPECT_EQ(SubjectFilter::problem("a.*b"), "");
    EXPECT_NE(SubjectFilter::problem("(unclosed"), "");
    EXPECT_NE(SubjectFilter::problem("a[").find("position"), std::string::npos);
    SubjectFilter filter;
    filter.set("(unclosed", "a[");
    EXPECT_TRUE(filter.passes("whatever"));
}

} // namespace
} // namespace nimbra
