// Runs that fetch over several connections: the server's limit on connections, a connection
// lost in the middle of an article, and the same files, counts, marks and message-ids as a
// run over one connection.
#include "download/ArticleSizeCheck.h"
#include "download/AttachmentSaver.h"
#include "download/FetchQueue.h"
#include "download/GroupMarks.h"
#include "tests/download/ArticleText.h"
#include "tests/download/RecordingSavedFileView.h"
#include "tests/download/SessionRun.h"
#include "tests/support/EventLoop.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SlowArticles.h"
#include "tests/support/TestCertificate.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/YencTestEncoder.h"
#include "tools/newsmodel/ModelServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

std::vector<ModelArticle> pictures(int first, int count)
{
    std::vector<ModelArticle> articles;
    for (int n = first; n < first + count; ++n)
        articles.push_back(NewsServerModel::article(n, "p" + std::to_string(n), "picture", 10 + n % 7));
    return articles;
}

// Starts the run against the model served with a connection per thread, as a real server does.
struct PoolRun {
    PoolRun(const std::string& connections, const std::string& pipeline)
    {
        run.view.fastScan = true;
        run.view.connections = connections;
        run.view.pipeline = pipeline;
    }
    // Over TLS when a certificate is given (it must be trusted).
    bool go(const std::string& group, int waitMs = 20000, const ServerCertificate* certificate = nullptr)
    {
        run.view.groups = {{group, true}};
        ServerGreeting greeting = run.model.greeting();
        ServerResponder responder = run.model.responder();
        if (!refusalCode_.empty()) {
            const auto count = [refusals = refusals_, code = refusalCode_](const ServerScript& reply) {
                if (!reply.empty() && reply.front().kind == FakeStep::Send && reply.front().text.rfind(code, 0) == 0)
                    ++*refusals;
                return reply;
            };
            greeting = [greeting, count](FakeConnection& connection) { return count(greeting(connection)); };
            responder = [responder, count](const std::string& line, FakeConnection& connection) {
                return count(responder(line, connection));
            };
        }
        if (hold)
            responder = slowArticles(responder, holdMs, hold);
        server = std::make_unique<ModelServer>(greeting, responder, 0, certificate);
        run.view.port = std::to_string(server->port());
        if (certificate)
            run.session.setTls(true, "");
        run.session.bitbtn1Click();
        return run.waitForEnd(waitMs);
    }

    // Articles are answered slowly until count replies beginning with code have been sent, so
    // that a loaded machine cannot end the run while a refused connection is still greeting or
    // logging in.
    void awaitRefusals(int count, std::string code)
    {
        refusalCode_ = std::move(code);
        hold = [refusals = refusals_, count](const std::string&, const FakeConnection&) { return *refusals < count; };
    }

    // Articles are answered slowly on the first connection until the last of connections has
    // asked for one, so that a loaded machine, slow to open the others, does not let the first
    // fetch every article alone.
    void awaitConnections(int connections)
    {
        hold = [all = std::make_shared<std::atomic<bool>>(false), last = connections - 1](
                   const std::string&, const FakeConnection& connection) {
            if (connection.index == last)
                *all = true;
            return connection.index == 0 && !*all;
        };
    }

    // The ARTICLE commands answered holdMs late, when set.
    std::function<bool(const std::string& line, const FakeConnection& connection)> hold;
    int holdMs = 10;
    SessionRun run;
    std::unique_ptr<ModelServer> server;

private:
    std::string refusalCode_;
    std::shared_ptr<std::atomic<int>> refusals_ = std::make_shared<std::atomic<int>>(0);
};

TEST(ConnectionPool, ALimitOfTwoConnectionsClosesTheOthersForTheRunAndEveryArticleComes)
{
    // Connections 4 against a server that takes two at once: the third and fourth are refused
    // with 502, are not opened again, and the run fetches everything over the two it has.
    LogCapture log;
    PoolRun pool("4", "2");
    // The run must outlast the refused connections' greetings: a run that ends first closes
    // them before their refusal is read.
    pool.run.model.addGroup("alt.limit", pictures(1, 400));
    pool.run.model.limitConnections(2);
    pool.awaitRefusals(2, "502");
    ASSERT_TRUE(pool.go("alt.limit"));
    EXPECT_EQ(pool.run.sink.ids, numbered("p", 1, 400));
    EXPECT_EQ(pool.server->connections(), 4);
    EXPECT_EQ(log.count("closed for this run: the news server refused the connection: 502"), 2);
    EXPECT_TRUE(log.has("the run goes on with 2 connections"));
    EXPECT_EQ(pool.run.session.watchdogExpiries(), 0);
    EXPECT_EQ(pool.run.view.panels[0], "Processing is over");
}

TEST(ConnectionPool, ALoginRefusedForTooManyConnectionsClosesThatConnectionOnly)
{
    // A server that counts an account's connections at the login: the extra connections
    // beyond two are answered 481 and closed; that is no wrong password, so the run goes on.
    LogCapture log;
    PoolRun pool("4", "2");
    pool.run.model.addGroup("alt.logins", pictures(1, 400));
    pool.run.model.setCredentials("user", "secret");
    pool.run.model.limitLogins(2);
    pool.awaitRefusals(2, "481");
    pool.run.view.userName = "user";
    pool.run.view.password = "secret";
    ASSERT_TRUE(pool.go("alt.logins"));
    EXPECT_EQ(pool.run.sink.ids, numbered("p", 1, 400));
    EXPECT_EQ(pool.server->connections(), 4);
    EXPECT_EQ(log.count("closed for this run: the news server refused the login (481)"), 2);
    EXPECT_TRUE(log.has("the run goes on with 2 connections"));
    EXPECT_EQ(pool.run.session.watchdogExpiries(), 0);
    EXPECT_EQ(pool.run.view.panels[0], "Processing is over");
}

TEST(ConnectionPool, TheExtraConnectionsGoOverTlsAsTheSessionsDoes)
{
    // The server speaks nothing but TLS: a connection opened plain would never see a greeting.
    const auto trusted = TestCertificate::local().trustInThisProcess();
    PoolRun pool("3", "2");
    pool.run.model.addGroup("alt.tls", pictures(1, 120));
    pool.awaitConnections(3);
    ASSERT_TRUE(pool.go("alt.tls", 20000, &TestCertificate::local()));
    EXPECT_EQ(pool.run.sink.ids, numbered("p", 1, 120));
    EXPECT_EQ(pool.server->connections(), 3);
    EXPECT_EQ(pool.run.session.watchdogExpiries(), 0);
    EXPECT_EQ(pool.run.view.panels[0], "Processing is over");
}

TEST(ConnectionPool, NoMoreConnectionsAreOpenedThanTheArticlesNeed)
{
    // Two articles fit the session's own pipeline window: nothing else connects.
    PoolRun pool("4", "16");
    pool.run.model.addGroup("alt.few", pictures(1, 2));
    ASSERT_TRUE(pool.go("alt.few"));
    EXPECT_EQ(pool.run.sink.ids, numbered("p", 1, 2));
    EXPECT_EQ(pool.server->connections(), 1);
}

TEST(ConnectionPool, AConnectionThatStallsIsReplacedAndItsArticlesAskedAgain)
{
    PoolRun pool("3", "2");
    pool.run.shortWatchdog();
    pool.run.model.addGroup("alt.stall", pictures(1, 30));
    pool.run.model.silentInsideArticle(12);
    // The articles after it come slowly, so that there is work left when the stall is noticed
    // however loaded the machine: a lane with nothing left to fetch is not opened again.
    pool.hold = [](const std::string& line, const FakeConnection&) { return std::stoll(line.substr(8)) > 12; };
    pool.holdMs = 100;
    ASSERT_TRUE(pool.go("alt.stall"));
    EXPECT_EQ(pool.run.sink.ids, numbered("p", 1, 30));
    EXPECT_EQ(pool.run.session.messageIdCache().entries(), numbered("p", 1, 30));
    EXPECT_GE(pool.server->connections(), 4);  // three, and the one that replaced the stalled
}

// ---- the same harvest over one and over four connections ----------------------------------

std::vector<ModelArticle> mixedGroup()
{
    const std::string split = yencPayload(30000, 11);
    auto yencArticle = [&](int number, int part) {
        return ArticleText::yencSplitArticle(number, "y" + std::to_string(part) + "@model", "split.bin", split, part, 3);
    };
    std::vector<ModelArticle> articles{
        ArticleText::uuArticle(2, "single uu", "single.jpg", std::string(3000, 'u')),
        ArticleText::mimeArticle(3, "mime one", "mime.jpg", std::string(5000, 'm')),
        ArticleText::uuArticle(5, "known one", "known.jpg", std::string(2000, 'k')),
        NewsServerModel::article(6, "tiny@model", "a short note", 3),
        ArticleText::uuArticle(7, "too big", "big.jpg", std::string(1000000, 'b')),
        yencArticle(9, 2),  // the parts of one file out of order, between others
    };
    for (ModelArticle& part : ArticleText::splitUuArticles(10, "split uu", "split.jpg", std::string(9000, 's'), 3))
        articles.push_back(std::move(part));
    for (int n = 14; n < 34; ++n)
        articles.push_back(ArticleText::uuArticle(n, "picture " + std::to_string(n), "p" + std::to_string(n) + ".jpg",
                                                  std::string(1500 + 100 * n, static_cast<char>('a' + n % 26))));
    articles.push_back(yencArticle(35, 1));
    for (ModelArticle& part : ArticleText::splitUuArticles(36, "second split", "second.jpg", std::string(12000, 'z'), 4))
        articles.push_back(std::move(part));
    articles.push_back(ArticleText::mimeArticle(41, "mime two", "mime2.jpg", std::string(7000, 'n')));
    articles.push_back(yencArticle(43, 3));
    // Parts of some hundred KB, as binaries groups carry them.
    const std::string large = yencPayload(900000, 12);
    for (const auto& [number, part] : {std::pair{45, 1}, {42, 3}, {44, 2}})
        articles.push_back(ArticleText::yencSplitArticle(number, "large" + std::to_string(part) + "@model", "large.bin",
                                                         large, part, 3));
    return articles;
}

struct HarvestRun {
    HarvestRun(const std::string& connections, const std::vector<ModelArticle>& group, std::int64_t cutArticle)
        : pool(connections, "2")
    {
        static int runs = 0;  // a folder of its own for every run, also when the test is repeated
        const std::string name = "harvest-" + connections + "-" + std::to_string(++runs);
        pool.run.view.downloadFolder = TestEnvironment::makeFolder(name + "-files");
        pool.run.view.minimum = "1";
        pool.run.view.maximum = "500";
        pool.run.session.setArticleSink(&saver);
        pool.run.session.setGroupMarks(&marks);
        pool.run.session.OnGroupDone = [this](const std::string&, const GroupWalker::Counts& c) { counts = c; };
        pool.run.model.addGroup("alt.mixed", group);
        pool.run.model.setRange("alt.mixed", 1, 45);
        if (cutArticle > 0)
            pool.run.model.closeInsideArticle(cutArticle);
        pool.run.session.messageIdCache().assign({group.at(2).messageId});  // article 5 is known
        finished = pool.go("alt.mixed");
    }
    std::int64_t mark() const
    {
        return marks.mark(GroupMarks::serverKey(pool.run.view.host, pool.run.view.port), "alt.mixed");
    }

    std::string folder = TestEnvironment::makeFolder("harvest-state-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    GroupMarks marks{folder + "group-marks"};
    PoolRun pool;
    RecordingSavedFileView shown;
    AttachmentSaver saver{pool.run.view, shown, folder + "ledger", folder + "ledger-split"};
    GroupWalker::Counts counts;
    bool finished = false;
};

TEST(ConnectionPool, FourConnectionsWithOneCutSaveWhatOneConnectionSaves)
{
    const std::vector<ModelArticle> group = mixedGroup();
    HarvestRun one("1", group, 0);
    HarvestRun four("4", group, 20);
    ASSERT_TRUE(one.finished);
    ASSERT_TRUE(four.finished);
    EXPECT_EQ(one.pool.server->connections(), 1);
    EXPECT_GE(four.pool.server->connections(), 5);  // four, and the one that replaced the cut

    const auto files = folderFiles(one.pool.run.view.downloadFolder);
    // 20 pictures, a single uu, two MIME, two split uu, two yEnc files in three parts
    EXPECT_EQ(files.size(), 27u);
    EXPECT_EQ(files.count("split.bin"), 1u);
    EXPECT_EQ(files.at("large.bin"), yencPayload(900000, 12));
    EXPECT_TRUE(files == folderFiles(four.pool.run.view.downloadFolder));
    EXPECT_EQ(one.shown.names, four.shown.names);  // in the same order, too
    EXPECT_EQ(one.shown.files, four.shown.files);
    EXPECT_EQ(one.shown.kilobytes, four.shown.kilobytes);
    EXPECT_EQ(one.pool.run.sink.ids, four.pool.run.sink.ids);
    EXPECT_EQ(one.pool.run.session.messageIdCache().entries(), four.pool.run.session.messageIdCache().entries());
    EXPECT_EQ(one.counts.scanned, four.counts.scanned);
    EXPECT_EQ(one.counts.fetched, four.counts.fetched);
    EXPECT_EQ(one.counts.skipped, four.counts.skipped);
    EXPECT_EQ(one.counts.skipped, 3);  // known 5, tiny 6, too big 7
    EXPECT_EQ(one.mark(), 45);
    EXPECT_EQ(four.mark(), 45);
}

// ---- the queue that puts the replies back in order ----------------------------------------

TEST(FetchQueue, HandsOutOnlyWithinTheHorizonAndGivesUpAnArticleThatStallsTwice)
{
    FetchQueue queue;
    for (int n = 1; n <= 5; ++n)
        queue.add(n, "id" + std::to_string(n), 10);
    ASSERT_NE(queue.take(2, 1), nullptr);
    ASSERT_NE(queue.take(2, 2), nullptr);
    EXPECT_EQ(queue.take(2, 1), nullptr);  // 3 lies beyond the horizon of two
    EXPECT_FALSE(queue.waitingWithin(2));

    FetchQueue::Slot* first = queue.find(1, queue.generation());
    ASSERT_NE(first, nullptr);
    queue.giveBack(*first, true);
    EXPECT_EQ(first->state, FetchQueue::waiting);
    EXPECT_EQ(queue.take(2, 3), first);
    queue.giveBack(*first, true);
    EXPECT_EQ(first->state, FetchQueue::settled);
    EXPECT_EQ(first->outcome, FetchQueue::givenUp);

    FetchQueue::Slot* second = queue.find(2, queue.generation());
    queue.giveBack(*second, false);  // only waited behind the one being read: no stall
    EXPECT_EQ(second->state, FetchQueue::waiting);
    EXPECT_EQ(second->stalls, 0);
}

TEST(FetchQueue, AtMostTheBytesAheadAreHandedOutWhateverTheHorizonButOneForEachConnection)
{
    FetchQueue queue;
    const std::int64_t third = FetchQueue::MaxBytesAhead / 3;
    for (int n = 1; n <= 4; ++n)
        queue.add(n, "id" + std::to_string(n), 0, third);
    for (int n = 1; n <= 3; ++n)
        EXPECT_NE(queue.take(800, 0), nullptr) << n;
    EXPECT_EQ(queue.take(800, 0), nullptr);  // a fourth third is too much
    EXPECT_FALSE(queue.waitingWithin(800));
    queue.settle(queue.front(), FetchQueue::whole);
    queue.popFront();
    EXPECT_TRUE(queue.waitingWithin(800));  // handed on: room for the next
    EXPECT_NE(queue.take(800, 0), nullptr);

    // A size known from the lines only counts too; one article larger than all is still fetched.
    FetchQueue lines;
    lines.add(1, "huge", FetchQueue::MaxBytesAhead / 1024 * ArticleSizeCheck::LinesPerKB * 2);
    lines.add(2, "next", 100);
    EXPECT_NE(lines.take(800, 0), nullptr);
    EXPECT_EQ(lines.take(800, 0), nullptr);

    // Four connections each get an article however large, and no more.
    FetchQueue large;
    for (int n = 1; n <= 6; ++n)
        large.add(n, "large" + std::to_string(n), 0, FetchQueue::MaxBytesAhead);
    const FetchQueue::Horizon four(64, 4);
    EXPECT_EQ(large.reach(four), 4u);
    for (int lane = 0; lane < 4; ++lane)
        EXPECT_NE(large.take(four, lane), nullptr) << lane;
    EXPECT_EQ(large.take(four, 0), nullptr);
}

TEST(FetchQueue, RepliesOfAnOlderGenerationFindNothing)
{
    FetchQueue queue;
    queue.add(7, "a", 0);
    const unsigned before = queue.generation();
    queue.clear();
    queue.add(7, "a", 0);
    EXPECT_EQ(queue.find(7, before), nullptr);
    EXPECT_NE(queue.find(7, queue.generation()), nullptr);
    EXPECT_EQ(queue.find(8, queue.generation()), nullptr);
}

// ---- many reconnects ----------------------------------------------------------------------

// Entries of a /proc/self folder: the descriptors ("fd") or the threads ("task") of the process.
std::size_t entriesOf(const char* folder)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(std::string("/proc/self/") + folder))
        ++count;
    return count;
}

// A harvest of hours meets hundreds of cut connections: each reconnect must close what the
// connection it replaces held. Every seventh article is cut on all four connections, so the
// run reconnects dozens of times; once it is over and the server is gone, the process holds no
// more descriptors or threads than before it.
TEST(ConnectionPool, ConnectionsCutAgainAndAgainLeaveNoDescriptorOrThreadBehind)
{
    {
        // The first run starts what lives as long as the process (the hashing thread and the
        // like); it is not counted.
        PoolRun warm("4", "2");
        warm.run.model.addGroup("alt.warm", pictures(1, 30));
        warm.run.model.cutEveryArticle(7);
        ASSERT_TRUE(warm.go("alt.warm"));
    }
    const std::size_t descriptors = entriesOf("fd");
    const std::size_t threads = entriesOf("task");
    PoolRun pool("4", "2");
    pool.run.model.addGroup("alt.cuts", pictures(1, 400));
    pool.run.model.cutEveryArticle(7);
    ASSERT_TRUE(pool.go("alt.cuts", 60000));
    EXPECT_EQ(pool.run.view.panels[0], "Processing is over");
    EXPECT_GE(pool.server->connections(), 40);
    EXPECT_GE(pool.run.sink.ids.size(), 350u);  // an article cut twice waits for the next run
    pool.server.reset();
    // The connections that ended with QUIT are closed as their close comes in.
    EXPECT_TRUE(waitUntil([&] { return entriesOf("fd") <= descriptors; }, 10000))
        << entriesOf("fd") << " descriptors against " << descriptors << " before the run";
    EXPECT_TRUE(waitUntil([&] { return entriesOf("task") <= threads; }, 10000))
        << entriesOf("task") << " threads against " << threads << " before the run";
}

// An article whose connection is cut every time it comes is given up for the run, and the log
// says which one: the counts alone do not show it.
TEST(ConnectionPool, AnArticleCutEveryTimeIsGivenUpAndTheLogNamesIt)
{
    LogCapture log;
    PoolRun pool("1", "1");
    pool.run.model.addGroup("alt.cut", pictures(1, 3));
    pool.run.model.cutEveryArticle(1);
    ASSERT_TRUE(pool.go("alt.cut"));
    EXPECT_TRUE(pool.run.sink.ids.empty());
    EXPECT_EQ(log.count("of alt.cut given up in this run"), 3);
    EXPECT_TRUE(log.has("article 2 <p2> of alt.cut given up"));
    EXPECT_EQ(pool.run.view.panels[0], "Processing is over");
}

} // namespace
} // namespace nimbra::test
