// The article selection pieces on their own: the message-id cache, the size test and the
// article-line follower.
#include "download/ArticleLineFollower.h"
#include "download/ArticleSizeCheck.h"
#include "download/MessageIdCache.h"
#include "download/SessionReply.h"
#include "download/SessionSettings.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>

namespace nimbra {
namespace {

using Strings = std::vector<std::string>;

TEST(MessageIdCache, FullCacheDropsItsOldestEntry)
{
    MessageIdCache cache;
    EXPECT_FALSE(cache.testAndEnter("A", 2));
    EXPECT_FALSE(cache.testAndEnter("B", 2));
    EXPECT_TRUE(cache.testAndEnter("A", 2));
    EXPECT_FALSE(cache.testAndEnter("C", 2));
    EXPECT_EQ(cache.entries(), (Strings{"B", "C"}));
    EXPECT_FALSE(cache.contains("A"));
    EXPECT_FALSE(cache.testAndEnter("A", 2));  // dropped, so new again
    EXPECT_EQ(cache.entries(), (Strings{"C", "A"}));
}

TEST(MessageIdCache, TrimCutsFromTheFrontAndForgetRemovesOneId)
{
    MessageIdCache cache;
    for (const char* id : {"a", "b", "c", "d", "e"})
        cache.testAndEnter(id, 100);
    cache.trim(3);
    EXPECT_EQ(cache.entries(), (Strings{"c", "d", "e"}));
    cache.forget("d");
    cache.forget("not there");
    EXPECT_EQ(cache.entries(), (Strings{"c", "e"}));
    EXPECT_FALSE(cache.contains("d"));
    EXPECT_TRUE(cache.contains("e"));
}

TEST(MessageIdCache, EmptyIdIsNewAndNeverEnteredAndZeroCapacityHoldsOne)
{
    MessageIdCache cache;
    EXPECT_FALSE(cache.testAndEnter("", 10));
    EXPECT_FALSE(cache.testAndEnter("", 10));
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_FALSE(cache.testAndEnter("x", 0));
    EXPECT_FALSE(cache.testAndEnter("y", 0));
    EXPECT_EQ(cache.entries(), (Strings{"y"}));
}

TEST(MessageIdCache, FileRoundTripKeepsOrderAndDropsRepeatedLines)
{
    const std::string path = test::TestEnvironment::makeFolder("cache") + "mesagid";
    {
        std::ofstream file(path, std::ios::binary);
        file << "one@x\r\ntwo@x\r\none@x\r\n\r\nthree@x\n";
    }
    MessageIdCache cache;
    ASSERT_TRUE(cache.load(path));
    EXPECT_EQ(cache.entries(), (Strings{"one@x", "two@x", "three@x"}));
    cache.trim(2);  // the repeated line must not leave a stale index entry behind
    EXPECT_FALSE(cache.contains("one@x"));
    ASSERT_TRUE(cache.save(path));
    MessageIdCache again;
    ASSERT_TRUE(again.load(path));
    EXPECT_EQ(again.entries(), (Strings{"two@x", "three@x"}));
    EXPECT_FALSE(again.load(path + ".missing"));
    EXPECT_EQ(again.size(), 0u);
}

ArticleSizeCheck::Outcome sizeOf(ArticleSizeCheck& check, const Strings& lines, long minimum, long maximum,
                                 std::uint16_t error = replySuccess, const char* header = "lines")
{
    check.begin(header, 7);
    for (const std::string& line : lines)
        check.line(line, minimum, maximum);
    return check.finish(error, minimum);
}

TEST(ArticleSizeCheck, BothBoundsAreIncludedAtTwentyThreeLinesToTheKB)
{
    ArticleSizeCheck check;
    EXPECT_EQ(sizeOf(check, {"7 229"}, 10, 200), ArticleSizeCheck::sizeDecided);
    EXPECT_FALSE(check.SizeAccepted);
    sizeOf(check, {"7 230"}, 10, 200);
    EXPECT_TRUE(check.SizeAccepted);
    EXPECT_EQ(check.ArticleLines, 230);
    sizeOf(check, {"7 4600"}, 0, 200);
    EXPECT_TRUE(check.SizeAccepted);
    sizeOf(check, {"7 4601"}, 0, 200);
    EXPECT_FALSE(check.SizeAccepted);
    sizeOf(check, {"7 0"}, 0, 200);
    EXPECT_TRUE(check.SizeAccepted);
}

TEST(ArticleSizeCheck, ValueThatIsNoNumberMakesTheReplyMalformed)
{
    ArticleSizeCheck check;
    EXPECT_EQ(sizeOf(check, {"7 many"}, 0, 200), ArticleSizeCheck::sizeMalformed);
    EXPECT_FALSE(check.SizeAccepted);
    EXPECT_EQ(sizeOf(check, {"7 12x"}, 0, 200), ArticleSizeCheck::sizeMalformed);
    EXPECT_EQ(sizeOf(check, {"7 99999999999"}, 0, 200), ArticleSizeCheck::sizeMalformed);
    EXPECT_EQ(sizeOf(check, {"7  42 "}, 0, 200), ArticleSizeCheck::sizeDecided);
    EXPECT_EQ(check.ArticleLines, 42);
}

TEST(ArticleSizeCheck, ReplyWithoutValueAsksForTheMetadataItemOnce)
{
    ArticleSizeCheck check;
    EXPECT_EQ(sizeOf(check, {}, 10, 200), ArticleSizeCheck::sizeAskMetadata);
    EXPECT_EQ(sizeOf(check, {"7"}, 10, 200), ArticleSizeCheck::sizeAskMetadata);
    EXPECT_EQ(sizeOf(check, {"7 "}, 10, 200), ArticleSizeCheck::sizeAskMetadata);
    EXPECT_FALSE(check.SizeAccepted);
    EXPECT_EQ(sizeOf(check, {"7 300"}, 10, 200, replySuccess, ":lines"), ArticleSizeCheck::sizeDecided);
    EXPECT_TRUE(check.SizeAccepted);
}

TEST(ArticleSizeCheck, UnknownSizePassesOnlyWithMinimumZero)
{
    ArticleSizeCheck check;
    EXPECT_EQ(sizeOf(check, {}, 0, 200, replySuccess, ":lines"), ArticleSizeCheck::sizeDecided);
    EXPECT_TRUE(check.SizeAccepted);
    EXPECT_EQ(check.ArticleLines, 0);
    sizeOf(check, {}, 10, 200, replySuccess, ":lines");
    EXPECT_FALSE(check.SizeAccepted);
    sizeOf(check, {}, 0, 200, 500);  // a server without XHDR: size unknown
    EXPECT_TRUE(check.SizeAccepted);
    sizeOf(check, {}, 0, 200, replyNoSuchArticle);  // no such article: never fetched
    EXPECT_FALSE(check.SizeAccepted);
}

TEST(ArticleSizeCheck, DecisionIsNeverInheritedFromThePreviousArticle)
{
    ArticleSizeCheck check;
    sizeOf(check, {"7 300"}, 10, 200);
    ASSERT_TRUE(check.SizeAccepted);
    EXPECT_EQ(sizeOf(check, {}, 10, 200), ArticleSizeCheck::sizeAskMetadata);
    EXPECT_FALSE(check.SizeAccepted);
    EXPECT_EQ(check.ArticleLines, 0);
}

TEST(ArticleLineFollower, BodyStartsAfterTheFirstEmptyLineAndSubjectsThereAreIgnored)
{
    ArticleLineFollower follower;
    EXPECT_EQ(follower.follow("Subject: a picture (01/01)"), ArticleLineFollower::headerLine);
    EXPECT_EQ(follower.follow(""), ArticleLineFollower::separatorLine);
    EXPECT_EQ(follower.follow("Subject: in the body"), ArticleLineFollower::bodyLine);
    EXPECT_EQ(follower.follow(""), ArticleLineFollower::bodyLine);
    EXPECT_EQ(follower.BodyLines, 2);
}

TEST(ArticleLineFollower, PercentRoundsHalvesToEvenAndMayPassAHundred)
{
    ArticleLineFollower follower;
    follower.BodyLines = 1;
    EXPECT_EQ(follower.percentText(8), "12%");  // 12.5
    follower.BodyLines = 3;
    EXPECT_EQ(follower.percentText(8), "38%");  // 37.5
    follower.BodyLines = 12;
    EXPECT_EQ(follower.percentText(8), "150%");
    EXPECT_FALSE(follower.percentText(0).has_value());
}

TEST(SessionSettings, FieldsWithoutANumberFallBack)
{
    EXPECT_EQ(SessionSettings::number("30", 20), 30);
    EXPECT_EQ(SessionSettings::number(" 7 ", 20), 7);
    EXPECT_EQ(SessionSettings::number("", 20), 20);
    EXPECT_EQ(SessionSettings::number("1e3", 20), 20);
    EXPECT_EQ(SessionSettings::number("-5", 20), 20);
    EXPECT_EQ(SessionSettings::number("1234567890", 20), 20);
}

} // namespace
} // namespace nimbra
