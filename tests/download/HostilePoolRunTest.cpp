// Runs over several connections where one of the extra connections answers what no request
// asked for: a code that is no reply code, the reply of another article. The run must neither
// wait for a watchdog nor save one article in place of another.
#include "tests/download/SessionRun.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SlowArticles.h"
#include "tools/newsmodel/ModelServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace nimbra::test {
namespace {

using Strings = std::vector<std::string>;

std::vector<ModelArticle> pictures(int count)
{
    std::vector<ModelArticle> articles;
    for (int n = 1; n <= count; ++n)
        articles.push_back(NewsServerModel::article(n, "p" + std::to_string(n), "picture", 10 + n % 7));
    return articles;
}

// How many ARTICLE commands the connection has received, the current line included.
long articleCommands(const FakeConnection& connection)
{
    return std::count_if(connection.received.begin(), connection.received.end(),
                         [](const std::string& line) { return line.rfind("ARTICLE ", 0) == 0; });
}

// A run of four connections with a window of two against the model, whose answer to the
// third ARTICLE on the second connection (the first extra one) is replaced by fault's.
struct FaultyLaneRun {
    using Fault = std::function<ServerScript(const std::string& line, FakeConnection& connection)>;

    explicit FaultyLaneRun(int articles)
    {
        run.view.fastScan = true;
        run.view.connections = "4";
        run.view.pipeline = "2";
        run.model.addGroup("alt.lane", pictures(articles));
        run.view.groups = {{"alt.lane", true}};
    }
    // With awaitReplacement, the articles come slowly after the fault until a fifth connection
    // has asked for one: a lane closed when nothing is left to fetch is not opened again.
    bool go(Fault fault, bool awaitReplacement = false)
    {
        ServerResponder model = run.model.responder();
        auto faulted = std::make_shared<std::atomic<bool>>(false);
        auto replaced = std::make_shared<std::atomic<bool>>(false);
        auto responder = [model, fault, faulted, replaced](const std::string& line, FakeConnection& connection) {
            if (connection.index >= 4)
                *replaced = true;
            if (connection.index == 1 && line.rfind("ARTICLE ", 0) == 0 && articleCommands(connection) == 3) {
                *faulted = true;
                return fault(line, connection);
            }
            return model(line, connection);
        };
        // Before the fault the first connection answers slowly, so that a loaded machine, slow
        // to open the others, does not let it fetch every article alone.
        const auto hold = [faulted, replaced, awaitReplacement](const std::string&, const FakeConnection& connection) {
            return *faulted ? awaitReplacement && !*replaced : connection.index == 0;
        };
        server = std::make_unique<ModelServer>(run.model.greeting(), slowArticles(responder, 20, hold));
        run.view.port = std::to_string(server->port());
        run.session.bitbtn1Click();
        return run.waitForEnd(20000);
    }

    SessionRun run;
    std::unique_ptr<ModelServer> server;
};

TEST(HostilePoolRun, AReplyCodeOfFiveDigitsIsARefusalNotACutConnection)
{
    // 10054 is the number of the socket error "reset by the peer": taken for it, the article
    // waited for a close that never came, and the whole run behind it for the watchdog.
    FaultyLaneRun lane(120);
    ASSERT_TRUE(lane.go([](const std::string&, FakeConnection&) { return ServerScript{send("10054 junk")}; }));
    EXPECT_EQ(lane.run.sink.ids.size(), 119u);  // the one refused is passed over, as any refused article
    EXPECT_EQ(lane.run.session.watchdogExpiries(), 0);
    EXPECT_EQ(lane.run.view.panels[0], "Processing is over");
}

TEST(HostilePoolRun, TheReplyOfAnotherArticleClosesThatConnectionAndEveryArticleComesOnce)
{
    // The connection answers its third request with the next article's reply: read on, each
    // article after it would be saved from the reply of another.
    LogCapture log;
    FaultyLaneRun lane(120);
    ServerResponder model = lane.run.model.responder();
    ASSERT_TRUE(lane.go([model](const std::string& line, FakeConnection& connection) {
        return model("ARTICLE " + std::to_string(std::stoll(line.substr(8)) + 1), connection);
    }, true));
    EXPECT_EQ(lane.run.sink.ids, numbered("p", 1, 120));
    EXPECT_EQ(lane.run.session.messageIdCache().entries(), numbered("p", 1, 120));
    EXPECT_TRUE(log.has("the replies no longer match the requests"));
    EXPECT_GE(lane.server->connections(), 5);  // four, and the one that replaced the closed
    EXPECT_EQ(lane.run.session.watchdogExpiries(), 0);
    EXPECT_EQ(lane.run.view.panels[0], "Processing is over");
}

TEST(HostilePoolRun, TheSameReplyTwiceClosesThatConnectionAndEveryArticleComesOnce)
{
    // One reply too many: every reply after it belongs to the request before.
    FaultyLaneRun lane(120);
    ServerResponder model = lane.run.model.responder();
    ASSERT_TRUE(lane.go([model](const std::string& line, FakeConnection& connection) {
        ServerScript twice = model(line, connection);
        const ServerScript again = twice;
        twice.insert(twice.end(), again.begin(), again.end());
        return twice;
    }));
    EXPECT_EQ(lane.run.sink.ids, numbered("p", 1, 120));
    EXPECT_EQ(lane.run.session.watchdogExpiries(), 0);
    EXPECT_EQ(lane.run.view.panels[0], "Processing is over");
}

TEST(HostilePoolRun, TheSessionsLoginRefusedForTooManyConnectionsMakesRoomInsteadOfEndingTheRun)
{
    // The session's own connection is closed in the middle of the run and connects again;
    // the server, still counting the old one, refuses its login as one connection too many.
    // The login was taken before in this run, so the password is right: one of the other
    // connections gives way, as when the greeting is refused.
    LogCapture log;
    SessionRun run;
    run.view.fastScan = true;
    run.view.connections = "4";
    run.view.pipeline = "2";
    run.view.userName = "user";
    run.view.password = "secret";
    run.model.setCredentials("user", "secret");
    run.model.addGroup("alt.logins", pictures(120));
    run.view.groups = {{"alt.logins", true}};
    auto closed = std::make_shared<std::atomic<bool>>(false);
    auto refused = std::make_shared<std::atomic<bool>>(false);
    ServerResponder model = run.model.responder();
    auto responder = [model, closed, refused](const std::string& line, FakeConnection& connection) {
        if (connection.index == 0 && line.rfind("ARTICLE ", 0) == 0 && articleCommands(connection) == 5) {
            closed->store(true);
            return ServerScript{close()};
        }
        if (closed->load() && connection.index >= 4 && line.rfind("AUTHINFO USER", 0) == 0 && !refused->exchange(true))
            return ServerScript{send("481 too many connections for this account")};
        return model(line, connection);
    };
    ModelServer server(run.model.greeting(), responder);
    run.view.port = std::to_string(server.port());
    run.session.bitbtn1Click();
    ASSERT_TRUE(run.waitForEnd(20000));
    EXPECT_TRUE(refused->load());
    EXPECT_FALSE(run.outcome.failed()) << run.outcome.reason();
    EXPECT_EQ(run.sink.ids, numbered("p", 1, 120));
    EXPECT_TRUE(log.has("closed for this run: it makes room for the session's own connection"));
    EXPECT_EQ(run.view.panels[0], "Processing is over");
}

} // namespace
} // namespace nimbra::test
