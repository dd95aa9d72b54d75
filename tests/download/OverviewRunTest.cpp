// Whole runs with the overview walk: one XOVER per block and ARTICLE only for what passes the
// cache, the size limits and the subject filters; a server without XOVER walked article by
// article; a stall inside an article; marks; and both walks saving the same files.
#include "download/AttachmentSaver.h"
#include "download/GroupMarks.h"
#include "tests/download/ArticleText.h"
#include "tests/download/RecordingSavedFileView.h"
#include "tests/download/SessionRun.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/YencTestEncoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

ModelArticle sized(int number, const std::string& id, int lines, const std::string& subject = "picture (1/1)")
{
    return NewsServerModel::article(number, id, subject, lines);
}

void fastRun(SessionRun& run, const std::string& group, std::vector<ModelArticle> articles)
{
    run.view.fastScan = true;
    run.model.addGroup(group, std::move(articles));
    run.view.groups = {{group, true}};
}

TEST(OverviewRun, DecidesFromTheOverviewAndFetchesOnlyWhatPasses)
{
    SessionRun run;
    run.view.minimum = "1";  // 23 lines
    run.view.maximum = "2";  // 46 lines
    fastRun(run, "alt.pics", {sized(3, "known", 30), sized(4, "small", 22), sized(5, "low", 23), sized(7, "high", 46),
                              sized(8, "big", 47), sized(9, "text", 30, "a question")});
    run.view.subjectExclude = "question";
    run.session.messageIdCache().assign({"known"});
    run.model.setRange("alt.pics", 1, 10);
    run.start();
    ASSERT_TRUE(run.waitForEnd());

    EXPECT_EQ(run.commands(), (Strings{"CAPABILITIES", "GROUP alt.pics", "LIST OVERVIEW.FMT", "XOVER 1-10", "ARTICLE 5", "ARTICLE 7", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"low", "high"}));
    // Skipped by size stays judged, as with the size query; the filtered one is not remembered.
    EXPECT_EQ(run.session.messageIdCache().entries(), (Strings{"known", "small", "low", "high", "big"}));
    const OverviewWalk::Counts& counts = run.session.overviewWalk().counts();
    EXPECT_EQ(counts.scanned, 6);
    EXPECT_EQ(counts.fetched, 2);
    EXPECT_EQ(counts.skipped, 4);
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
    EXPECT_EQ(run.view.panels[0], "Processing is over");
}

TEST(OverviewRun, ScansInBlocksAndAnEmptyBlockIsPassed)
{
    SessionRun run;
    fastRun(run, "alt.blocks", {sized(1, "a", 10), sized(2, "b", 10), sized(9, "c", 10)});
    run.session.overviewWalk().setBlockSize(3);
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"CAPABILITIES", "GROUP alt.blocks", "LIST OVERVIEW.FMT", "XOVER 1-3", "ARTICLE 1", "ARTICLE 2", "XOVER 4-6",
                                       "XOVER 7-9", "ARTICLE 9", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"a", "b", "c"}));
}

TEST(OverviewRun, ServerWithoutOverviewIsWalkedArticleByArticle)
{
    SessionRun run;
    fastRun(run, "alt.one", {sized(1, "a", 10), sized(2, "b", 10)});
    run.model.addGroup("alt.two", {sized(5, "c", 10)});
    run.view.groups.push_back({"alt.two", true});
    run.model.setOverview(false);
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{
        "CAPABILITIES", "GROUP alt.one", "LIST OVERVIEW.FMT", "XOVER 1-2", "STAT 1", "XHDR lines 1", "ARTICLE 1", "NEXT", "XHDR lines 2", "ARTICLE 2",
        "GROUP alt.two", "STAT 5", "XHDR lines 5", "ARTICLE 5", "QUIT"}));
    EXPECT_EQ(run.sink.ids, (Strings{"a", "b", "c"}));
}

TEST(OverviewRun, StallInsideAnArticleAsksAgainForEveryUnfinishedArticle)
{
    SessionRun run;
    run.shortWatchdog();
    fastRun(run, "alt.stall", {sized(1, "a", 10), sized(2, "b", 200), sized(3, "c", 10)});
    run.model.silentInsideArticle(2);
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.session.watchdogExpiries(), 1);
    EXPECT_EQ(run.sink.ids, (Strings{"a", "b", "c"}));
    EXPECT_EQ(run.commands(), (Strings{"CAPABILITIES", "GROUP alt.stall", "LIST OVERVIEW.FMT", "XOVER 1-3", "ARTICLE 1",
                                       "ARTICLE 2", "ARTICLE 3", "CAPABILITIES", "GROUP alt.stall", "LIST OVERVIEW.FMT", "XOVER 2-3",
                                       "ARTICLE 2", "ARTICLE 3", "QUIT"}));
}

TEST(OverviewRun, SecondRunAsksNothingOldAndTheMarkCoversTrailingHoles)
{
    GroupMarks marks(TestEnvironment::makeFolder("overview-marks") + "group-marks");
    SessionRun first;
    fastRun(first, "alt.m", {sized(1, "a", 10), sized(2, "b", 10)});
    first.model.setRange("alt.m", 1, 6);
    first.session.setGroupMarks(&marks);
    first.start();
    ASSERT_TRUE(first.waitForEnd());
    const std::string key = GroupMarks::serverKey(first.view.host, first.view.port);
    EXPECT_EQ(marks.mark(key, "alt.m"), 6);

    SessionRun second;
    fastRun(second, "alt.m", {sized(1, "a", 10), sized(2, "b", 10), sized(7, "c", 10)});
    second.session.setGroupMarks(&marks);
    second.server = second.model.start();
    second.view.port = second.server->portText();
    marks.setMark(GroupMarks::serverKey(second.view.host, second.view.port), "alt.m", 6);  // same server, new port
    second.session.bitbtn1Click();
    ASSERT_TRUE(second.waitForEnd());
    EXPECT_EQ(second.commands(), (Strings{"CAPABILITIES", "GROUP alt.m", "LIST OVERVIEW.FMT", "XOVER 7", "ARTICLE 7", "QUIT"}));
    EXPECT_EQ(second.sink.ids, (Strings{"c"}));
}

TEST(OverviewRun, HostileOverviewLinesAreIgnored)
{
    // Lines out of the block, repeated, going back or unreadable: only the block's numbers,
    // once each and ascending, are taken.
    SessionRun run;
    run.view.fastScan = true;
    run.view.groups = {{"alt.h", true}};
    run.server = std::make_unique<FakeNewsServer>(ServerScript{
        send("200 hostile"), expect("CAPABILITIES"), send("500 What?"), expect("GROUP alt.h"), send("211 3 1 3 alt.h"), expect("LIST OVERVIEW.FMT"),
        sendBlock("215 format", {"Subject:", "From:", "Date:", "Message-ID:", "References:", ":bytes", ":lines"}),
        expect("XOVER 1-3"),
        sendBlock("224 overview", {"2\tsub\tf\td\t<b>\t\t10\t10", "2\tsub\tf\td\t<b2>\t\t10\t10",
                                   "1\tsub\tf\td\t<a>\t\t10\t10", "99\tsub\tf\td\t<z>\t\t10\t10",
                                   "x\tsub\tf\td\t<y>\t\t10\t10", "0\tzero\tf\td\t<0>\t\t10\t10"}),
        expect("ARTICLE 2"), sendBlock("220 2 <b> article", {"Message-ID: <b>", "", "body"}),
        expect("QUIT"), send("205 bye")});
    run.view.port = run.server->portText();
    run.session.bitbtn1Click();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"b"}));
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
}

TEST(OverviewRun, AnOverviewThatRepeatsALineWithoutEndIsAStall)
{
    // Lines keep coming, but none is a new number of the block: nothing moves, so the
    // watchdog gives the connection up as it would a silent one.
    SessionRun run;
    run.shortWatchdog();
    run.view.fastScan = true;
    run.view.groups = {{"alt.h", true}};
    run.server = std::make_unique<FakeNewsServer>(ServerScript{
        send("200 hostile"), expect("CAPABILITIES"), send("500 What?"), expect("GROUP alt.h"), send("211 3 1 3 alt.h"),
        expect("LIST OVERVIEW.FMT"),
        sendBlock("215 format", {"Subject:", "From:", "Date:", "Message-ID:", "References:", ":bytes", ":lines"}),
        expect("XOVER 1-3"), send("224 overview"), send("1\tsub\tf\td\t<a>\t\t10\t10"),
        repeat("1\tsub\tf\td\t<a>\t\t10\t10", 0, 2)});
    run.view.port = run.server->portText();
    run.session.bitbtn1Click();
    EXPECT_TRUE(waitUntil([&] { return run.session.watchdogExpiries() > 0; }, 5000));
    run.session.sendbtnClick();
    EXPECT_FALSE(run.session.sessionActive());
}

// ---- both walks against the same group ----------------------------------------------------

std::vector<ModelArticle> mixedGroup()
{
    const std::string split = yencPayload(30000, 7);
    auto yencArticle = [&](int number, const std::string& id, int part) {
        return ArticleText::yencSplitArticle(number, id, "split.bin", split, part, 3);
    };
    std::vector<ModelArticle> articles{
        ArticleText::uuArticle(2, "single uu", "single.jpg", std::string(3000, 'u')),
        ArticleText::mimeArticle(3, "mime one", "mime.jpg", std::string(5000, 'm')),
        ArticleText::uuArticle(5, "known one", "known.jpg", std::string(2000, 'k')),
        NewsServerModel::article(6, "tiny@model", "a short note", 3),
        ArticleText::uuArticle(7, "too big", "big.jpg", std::string(400000, 'b')),
        yencArticle(9, "y1@model", 1),
    };
    for (ModelArticle& part : ArticleText::splitUuArticles(10, "split uu", "split.jpg", std::string(9000, 's'), 3))
        articles.push_back(std::move(part));
    articles.push_back(yencArticle(14, "y2@model", 2));
    articles.push_back(yencArticle(16, "y3@model", 3));
    return articles;
}

struct ComparedRun {
    ComparedRun(bool fast, const std::vector<ModelArticle>& group)
    {
        const std::string name = fast ? "overview" : "classic";
        run.view.downloadFolder = TestEnvironment::makeFolder(name + "-files");
        run.view.fastScan = fast;
        run.view.minimum = "1";
        run.view.maximum = "100";
        run.session.setArticleSink(&saver);
        run.session.OnGroupDone = [this](const std::string&, const GroupWalker::Counts& counts) {
            groupCounts = counts;
        };
        run.model.addGroup("alt.mixed", group);
        run.model.setRange("alt.mixed", 1, 18);
        run.view.groups = {{"alt.mixed", true}};
        run.session.messageIdCache().assign({group.at(2).messageId});  // article 5 is known
        run.start();
        finished = run.waitForEnd(20000);
    }

    SessionRun run;
    RecordingSavedFileView shown;
    std::string ledger = TestEnvironment::root() + "ledger-" + std::to_string(reinterpret_cast<std::uintptr_t>(this));
    AttachmentSaver saver{run.view, shown, ledger, ledger + "-split"};
    bool finished = false;
    GroupWalker::Counts groupCounts;
};

TEST(OverviewRun, BothWalksSaveTheSameFilesByteForByte)
{
    const std::vector<ModelArticle> group = mixedGroup();
    ComparedRun classic(false, group);
    ComparedRun overview(true, group);
    ASSERT_TRUE(classic.finished);
    ASSERT_TRUE(overview.finished);

    const auto classicFiles = folderFiles(classic.run.view.downloadFolder);
    const auto overviewFiles = folderFiles(overview.run.view.downloadFolder);
    Strings names;
    for (const auto& [name, bytes] : classicFiles)
        names.push_back(name);
    EXPECT_EQ(names, (Strings{"mime.jpg", "single.jpg", "split.bin", "split.jpg"}));
    EXPECT_TRUE(classicFiles == overviewFiles);
    EXPECT_EQ(classic.shown.files, overview.shown.files);
    EXPECT_EQ(classic.shown.names, overview.shown.names);
    EXPECT_EQ(classic.run.sink.ids, overview.run.sink.ids);
    EXPECT_EQ(classic.run.session.messageIdCache().entries(), overview.run.session.messageIdCache().entries());
    const GroupWalker::Counts& fast = overview.run.session.overviewWalk().counts();
    EXPECT_EQ(fast.scanned, 11);
    EXPECT_EQ(fast.fetched, 8);  // 2, 3, 9, 10, 11, 12, 14, 16
    EXPECT_EQ(fast.skipped, 3);  // known 5, tiny 6, too big 7
    EXPECT_EQ(classic.groupCounts.scanned, fast.scanned);
    EXPECT_EQ(classic.groupCounts.fetched, fast.fetched);
    EXPECT_EQ(classic.groupCounts.skipped, fast.skipped);
    EXPECT_EQ(classic.run.session.watchdogExpiries() + overview.run.session.watchdogExpiries(), 0);
}

} // namespace
} // namespace nimbra::test
