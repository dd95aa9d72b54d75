// The overview walk's ARTICLE commands through the pipeline window, and what a connection is set
// up with before its first group: CAPABILITIES with the fast scan, then the login, then
// COMPRESS DEFLATE where offered and chosen.
#include "download/GroupMarks.h"
#include "tests/download/SessionRun.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

const Strings Format{"Subject:", "From:", "Date:", "Message-ID:", "References:", ":bytes", ":lines"};

std::string overviewLine(int number)
{
    const std::string n = std::to_string(number);
    return n + "\tpicture " + n + "\tf\td\t<a" + n + ">\t\t100\t3";
}

FakeStep article(int number)
{
    const std::string n = std::to_string(number);
    return sendBlock("220 " + n + " <a" + n + "> article", {"Message-ID: <a" + n + ">", "", "body " + n});
}

// A greeting that knows no CAPABILITIES, a group of articles 1..count and its overview.
ServerScript scanOf(int count)
{
    Strings lines;
    for (int n = 1; n <= count; ++n)
        lines.push_back(overviewLine(n));
    const std::string c = std::to_string(count);
    return {send("200 scripted"), expect("CAPABILITIES"), send("500 What?"), expect("GROUP alt.p"),
            send("211 " + c + " 1 " + c + " alt.p"), expect("LIST OVERVIEW.FMT"), sendBlock("215 format", Format),
            expect("XOVER 1-" + c), sendBlock("224 overview", lines)};
}

void runScripted(SessionRun& run, ServerScript script)
{
    run.view.fastScan = true;
    run.view.groups = {{"alt.p", true}};
    script.push_back(expect("QUIT"));
    script.push_back(send("205 bye"));
    run.server = std::make_unique<FakeNewsServer>(std::move(script));
    run.view.port = run.server->portText();
    run.session.bitbtn1Click();
}

TEST(PipelinedFetch, TheWindowIsFilledBeforeTheFirstReplyAndRefilledAsRepliesCome)
{
    // With a window of 2 the third ARTICLE waits for the first reply: a client that sent one
    // at a time, or more than two, would not follow this script.
    SessionRun run;
    run.view.pipeline = "2";
    ServerScript script = scanOf(3);
    for (FakeStep step : {expect("ARTICLE 1"), expect("ARTICLE 2"), article(1), expect("ARTICLE 3"), article(2), article(3)})
        script.push_back(step);
    runScripted(run, script);
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2", "a3"}));
    EXPECT_EQ(run.session.overviewWalk().counts().fetched, 3);
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
}

TEST(PipelinedFetch, AnArticleGoneOrTooLargeInTheMiddleDoesNotDisturbTheOthers)
{
    SessionRun run;
    ServerScript script = scanOf(4);
    for (FakeStep step : {expect("ARTICLE 1"), expect("ARTICLE 2"), expect("ARTICLE 3"), expect("ARTICLE 4"), article(1),
                          send("423 gone"), send("430 no such article"), article(4)})
        script.push_back(step);
    runScripted(run, script);
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a4"}));
    EXPECT_EQ(run.session.overviewWalk().counts().fetched, 2);
}

TEST(PipelinedFetch, ACloseInTheMiddleAsksAgainForExactlyTheArticlesWithoutAWholeReply)
{
    // Four articles on the wire; the server answers two and closes. After the reconnect the
    // walk asks from 3 on: nothing is saved twice or skipped, and the mark ends at the last.
    GroupMarks marks(TestEnvironment::makeFolder("pipeline-close") + "group-marks");
    SessionRun run;
    run.session.setGroupMarks(&marks);
    ServerScript script = scanOf(4);
    for (FakeStep step : {expect("ARTICLE 1"), expect("ARTICLE 2"), expect("ARTICLE 3"), expect("ARTICLE 4"), article(1),
                          article(2), close(), send("200 again"), expect("CAPABILITIES"), send("500 What?"),
                          expect("GROUP alt.p"), send("211 4 1 4 alt.p"), expect("LIST OVERVIEW.FMT"),
                          sendBlock("215 format", Format), expect("XOVER 3-4"),
                          sendBlock("224 overview", {overviewLine(3), overviewLine(4)}), expect("ARTICLE 3"),
                          expect("ARTICLE 4"), article(3), article(4)})
        script.push_back(step);
    runScripted(run, script);
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2", "a3", "a4"}));
    EXPECT_EQ(run.session.messageIdCache().entries(), (Strings{"a1", "a2", "a3", "a4"}));
    EXPECT_EQ(marks.mark(GroupMarks::serverKey(run.view.host, run.view.port), "alt.p"), 4);
    EXPECT_EQ(run.session.watchdogExpiries(), 1);
}

TEST(PipelinedFetch, AWindowOfOneAsksForOneArticleAtATime)
{
    SessionRun run;
    run.view.pipeline = "1";
    ServerScript script = scanOf(2);
    for (FakeStep step : {expect("ARTICLE 1"), article(1), expect("ARTICLE 2"), article(2)})
        script.push_back(step);
    runScripted(run, script);
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1", "a2"}));
}

// ---- setting the connection up ------------------------------------------------------------

TEST(ConnectionSetup, ListedCapabilitiesChooseOverAndALoginComesBeforeCompression)
{
    SessionRun run;
    run.view.userName = "u";
    run.view.password = "p";
    run.view.compression = true;
    runScripted(run, {send("200 scripted"), expect("CAPABILITIES"),
                      sendBlock("101 list", {"VERSION 2", "READER", "OVER", "COMPRESS DEFLATE"}),
                      expect("AUTHINFO USER u"), send("381 more"), expect("AUTHINFO PASS p"), send("281 ok"),
                      expect("COMPRESS DEFLATE"), send("206 Compression active"), startCompression(),
                      expect("GROUP alt.p"), send("211 1 1 1 alt.p"), expect("LIST OVERVIEW.FMT"),
                      sendBlock("215 format", Format), expect("OVER 1"), sendBlock("224 overview", {overviewLine(1)}),
                      expect("ARTICLE 1"), article(1)});
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1"}));
    EXPECT_EQ(run.session.watchdogExpiries(), 0);
}

TEST(ConnectionSetup, RefusedCompressionGoesOnUncompressedAndUnchosenIsNotAsked)
{
    for (const bool chosen : {true, false}) {
        SessionRun run;
        run.view.compression = chosen;
        ServerScript script{send("200 scripted"), expect("CAPABILITIES"),
                      sendBlock("101 list", {"VERSION 2", "READER", "OVER", "COMPRESS DEFLATE"})};
        if (chosen) {
            script.push_back(expect("COMPRESS DEFLATE"));
            script.push_back(send("403 not now"));
        }
        for (FakeStep step : {expect("GROUP alt.p"), send("211 1 1 1 alt.p"), expect("LIST OVERVIEW.FMT"),
                              sendBlock("215 format", Format), expect("OVER 1"), sendBlock("224 overview", {overviewLine(1)}),
                              expect("ARTICLE 1"), article(1)})
            script.push_back(step);
        runScripted(run, script);
        ASSERT_TRUE(run.waitForEnd()) << chosen;
        EXPECT_EQ(run.sink.ids, (Strings{"a1"})) << chosen;
    }
}

TEST(ConnectionSetup, CapabilitiesWithoutOverMeanTheClassicWalk)
{
    SessionRun run;
    runScripted(run, {send("200 scripted"), expect("CAPABILITIES"), sendBlock("101 list", {"VERSION 2", "READER", "HDR"}),
                      expect("GROUP alt.p"), send("211 1 1 1 alt.p"), expect("STAT 1"), send("223 1 <a1> status"),
                      expect("XHDR lines 1"), sendBlock("221 lines", {"1 3"}), expect("ARTICLE 1"), article(1)});
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.sink.ids, (Strings{"a1"}));
}

TEST(ConnectionSetup, WithoutTheFastScanNothingIsAskedBeforeTheGroup)
{
    SessionRun run;
    run.view.compression = true;
    run.model.addGroup("alt.c", {NewsServerModel::article(1, "c1", "picture", 3)});
    run.view.groups = {{"alt.c", true}};
    run.start();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.commands(), (Strings{"GROUP alt.c", "STAT 1", "XHDR lines 1", "ARTICLE 1", "QUIT"}));
}

} // namespace
} // namespace nimbra::test
