// The size of articles without a "Lines:" header: servers that leave them out of the XHDR
// "lines" block are asked for the ":lines" metadata item, and an unknown size is fetched only
// when the minimum is 0.
#include "tests/download/SessionRun.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

ModelArticle sized(int number, int lines, bool withHeader)
{
    const std::string id = "n" + std::to_string(number) + "-" + std::to_string(lines);
    return NewsServerModel::article(number, id, "file " + id + " (01/01)", lines, withHeader);
}

Strings runWith(std::vector<ModelArticle> articles, bool metadataLines, const std::string& minimum,
                Strings* commands = nullptr)
{
    SessionRun run;
    run.model.addGroup("alt.sizes", std::move(articles));
    run.model.setMetadataLines(metadataLines);
    run.view.groups = {{"alt.sizes", true}};
    run.view.minimum = minimum;
    run.view.maximum = "20";
    run.start();
    EXPECT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
    if (commands)
        *commands = run.commands();
    return run.sink.ids;
}

TEST(SizeQueryRun, WithoutLinesHeaderTheMetadataItemDecides)
{
    Strings commands;
    const Strings fetched = runWith({sized(1, 100, false), sized(2, 230, false), sized(3, 460, false),
                                     sized(4, 461, false)},
                                    true, "10", &commands);
    EXPECT_EQ(fetched, (Strings{"n2-230", "n3-460"}));
    EXPECT_EQ(commands, (Strings{
        "GROUP alt.sizes", "STAT 1", "XHDR lines 1", "XHDR :lines 1",
        "NEXT", "XHDR lines 2", "XHDR :lines 2", "ARTICLE 2",
        "NEXT", "XHDR lines 3", "XHDR :lines 3", "ARTICLE 3",
        "NEXT", "XHDR lines 4", "XHDR :lines 4", "QUIT"}));
}

TEST(SizeQueryRun, UnknownSizeIsFetchedOnlyWithMinimumZero)
{
    // 2000 lines lie past the maximum's 460, but unknown they are fetched; the bytes stay within
    // what the maximum lets one article hold.
    const std::vector<ModelArticle> articles{sized(1, 100, false), sized(2, 230, false), sized(3, 2000, false)};
    EXPECT_EQ(runWith(articles, false, "0"), (Strings{"n1-100", "n2-230", "n3-2000"}));
    EXPECT_EQ(runWith(articles, false, "10"), Strings{});
}

TEST(SizeQueryRun, NoDecisionIsCarriedOverToTheNextArticle)
{
    // An accepted article followed by one of unknown size, and a refused one followed by one of
    // unknown size: each is judged on its own answer.
    EXPECT_EQ(runWith({sized(1, 300, true), sized(2, 300, false), sized(3, 100, true), sized(4, 100, false)},
                      false, "10"),
              (Strings{"n1-300"}));
    EXPECT_EQ(runWith({sized(1, 5000, true), sized(2, 5000, false), sized(3, 300, true), sized(4, 50, false)},
                      false, "0"),
              (Strings{"n2-5000", "n3-300", "n4-50"}));
    EXPECT_EQ(runWith({sized(1, 300, true), sized(2, 100, false), sized(3, 460, false)}, true, "10"),
              (Strings{"n1-300", "n3-460"}));
}

} // namespace
} // namespace nimbra::test
