#include "app/GroupCacheFile.h"
#include "app/GroupFetchView.h"
#include "app/GroupListFetch.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/TextListFile.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeNewsServer.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// Records every call of the flow as one line of text, in order.
class RecordingView : public GroupFetchView {
public:
    std::string host = "LocalHost"; // reaches the fake server without a lookup
    std::string port;
    std::string user;
    std::string password;
    bool answerYes = false;
    std::function<void(const std::string&)> onCaption;

    std::vector<std::string> log;
    std::vector<std::string> errors;
    std::string caption = "Please, wait. Loading can take up a few minutes";
    bool waitShown = false;
    bool stopVisible = false;
    bool mainEnabled = true;
    int refills = 0;

    std::string hostText() const override { return host; }
    std::string portText() const override { return port; }
    std::string userNameText() const override { return user; }
    std::string passwordText() const override { return password; }
    bool askYesNo(const std::string& question) override
    {
        log.push_back("ask " + question);
        return answerYes;
    }
    void showError(const std::string& text) override
    {
        log.push_back("error " + text);
        errors.push_back(text);
    }
    void setWaitCaption(const std::string& text) override
    {
        caption = text;
        if (text.rfind("Getting News Groups ", 0) != 0 || text == "Getting News Groups 1")
            log.push_back("caption " + text); // the count is checked by its first step only
        if (onCaption)
            onCaption(text);
    }
    void setStopVisible(bool visible) override
    {
        stopVisible = visible;
        log.push_back(visible ? "stop shown" : "stop hidden");
    }
    void showWaitWindow() override
    {
        waitShown = true;
        log.push_back("wait shown");
    }
    void hideWaitWindow() override
    {
        waitShown = false;
        log.push_back("wait hidden");
    }
    void setMainWindowEnabled(bool enabled) override
    {
        mainEnabled = enabled;
        log.push_back(enabled ? "main enabled" : "main disabled");
    }
    void refillGroupList() override
    {
        ++refills;
        log.push_back("refill");
    }

    bool has(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
};

FakeNewsServer::Script listing(const std::vector<std::string>& groups)
{
    std::vector<std::string> lines;
    for (const std::string& group : groups)
        lines.push_back(group + " 10 1 y");
    return {send("200 news.test"), expect("MODE READER"), send("200 reader"), expect("LIST"),
        sendBlock("215 list follows", lines), expect("Quit"), expectClose()};
}

std::vector<std::string> cacheOf(const std::string& host)
{
    std::vector<std::string> lines;
    TextListFile::load(GroupCacheFile::path(host), lines);
    return lines;
}

void verifyPlayed(FakeNewsServer& server)
{
    EXPECT_TRUE(waitUntil([&] { return server.finished(); }));
    server.verify();
}

} // namespace

TEST(GroupListFetch, FirstFetchShowsTheWaitWindowCountsAndCaches)
{
    FakeNewsServer server(listing({"alt.binaries.pictures", "comp.lang.c", "alt.binaries.x"}));
    RecordingView view;
    view.port = server.portText();
    std::vector<std::string> fullList{"stale.group"};
    GroupListFetch fetch(view, fullList);
    fetch.getGroups();

    const std::vector<std::string> expected{"stop shown", "wait shown", "main disabled",
        "caption Getting News Groups 1", "refill", "wait hidden", "caption ", "main enabled"};
    EXPECT_EQ(view.log, expected);
    EXPECT_EQ(fullList, (std::vector<std::string>{"alt.binaries.pictures", "comp.lang.c", "alt.binaries.x"}));
    EXPECT_EQ(fetch.groupCounter(), 3);
    std::string bytes;
    ASSERT_TRUE(AtomicFile::read(GroupCacheFile::folder() + "localhost", bytes));
    EXPECT_EQ(bytes, "alt.binaries.pictures\r\ncomp.lang.c\r\nalt.binaries.x\r\n");
    verifyPlayed(server);
}

TEST(GroupListFetch, SecondGetGroupsAsksAndNoReloadsWithoutTheServer)
{
    RecordingView view;
    std::vector<std::string> fullList;
    GroupListFetch fetch(view, fullList);
    {
        FakeNewsServer server(listing({"a.one", "b.two"}));
        view.port = server.portText();
        fetch.getGroups();
        verifyPlayed(server);
    }
    EXPECT_EQ(view.caption, ""); // empty until the next fetch's first group
    FakeNewsServer untouched(FakeNewsServer::Script{});
    view.port = untouched.portText();
    view.log.clear();
    fullList = {"something", "else"};
    view.answerYes = false;
    fetch.getGroups();

    EXPECT_EQ(view.log, (std::vector<std::string>{"ask Would you like to refresh?", "caption Please, wait", "refill",
                            "wait hidden"}));
    EXPECT_EQ(fullList, (std::vector<std::string>{"a.one", "b.two"}));
    pumpFor(100);
    EXPECT_EQ(untouched.connections(), 0);
}

TEST(GroupListFetch, NewsHostIsCachedAsNewshostAndAsksBeforeReloading)
{
    ASSERT_TRUE(TextListFile::save(GroupCacheFile::folder() + "newshost", {"x.one", "x.two"}));
    RecordingView view;
    view.host = "NewsHost"; // no such server: the reload must not look for one
    view.port = "119";
    std::vector<std::string> fullList;
    GroupListFetch fetch(view, fullList);
    fetch.getGroups();
    EXPECT_EQ(view.log, (std::vector<std::string>{"ask Would you like to refresh?", "caption Please, wait", "refill",
                            "wait hidden"}));
    EXPECT_EQ(fullList, (std::vector<std::string>{"x.one", "x.two"}));
}

TEST(GroupListFetch, AnsweringYesFetchesAgainAndReplacesTheCache)
{
    TextListFile::save(GroupCacheFile::path("LocalHost"), {"old.group"});
    FakeNewsServer server(listing({"new.group"}));
    RecordingView view;
    view.port = server.portText();
    view.answerYes = true;
    std::vector<std::string> fullList;
    GroupListFetch fetch(view, fullList);
    fetch.getGroups();
    EXPECT_EQ(view.log.front(), "ask Would you like to refresh?");
    EXPECT_TRUE(view.has("wait shown"));
    EXPECT_EQ(cacheOf("localhost"), std::vector<std::string>{"new.group"});
    EXPECT_TRUE(view.errors.empty());
    verifyPlayed(server);
}

TEST(GroupListFetch, ServerFailingMidListKeepsTheGroupsSavesNothingAndReports)
{
    FakeNewsServer server({send("200 news.test"), expect("MODE READER"), send("200 reader"), expect("LIST"),
        sendRaw("215 list follows\r\ngot.one 1 1 y\r\ngot.two 1 1 y\r\ncut.of"), close()});
    RecordingView view;
    view.port = server.portText();
    std::vector<std::string> fullList;
    GroupListFetch fetch(view, fullList);
    fetch.getGroups();
    EXPECT_EQ(fullList, (std::vector<std::string>{"got.one", "got.two"}));
    EXPECT_FALSE(TextListFile::exists(GroupCacheFile::path("LocalHost")));
    EXPECT_EQ(view.errors, std::vector<std::string>{"Connection Closed Gracefully."});
    EXPECT_EQ(view.refills, 0);
    EXPECT_TRUE(view.mainEnabled);
    EXPECT_FALSE(view.waitShown);
    EXPECT_EQ(view.log.back(), "error Connection Closed Gracefully.");
}

TEST(GroupListFetch, RefusedConnectEndsInNotConnectedWithTheWindowEnabled)
{
    std::uint16_t closedPort;
    {
        FakeNewsServer gone(FakeNewsServer::Script{});
        closedPort = gone.port();
    }
    RecordingView view;
    view.port = std::to_string(closedPort);
    std::vector<std::string> fullList;
    GroupListFetch fetch(view, fullList);
    fetch.getGroups();
    EXPECT_EQ(view.errors, std::vector<std::string>{"Not Connected"});
    EXPECT_TRUE(view.mainEnabled);
    EXPECT_FALSE(view.waitShown);
    EXPECT_TRUE(fullList.empty());
}

TEST(GroupListFetch, ListRefusedAfterAuthenticationReportsTheServersText)
{
    FakeNewsServer server({send("200 news.test"), expect("MODE READER"), send("480 log in"),
        expect("AUTHINFO USER me"), send("381 and?"), expect("AUTHINFO PASS pw"), send("281 in"),
        expect("MODE READER"), send("200 reader"), expect("LIST"), send("503 no list today"), expect("Quit")});
    RecordingView view;
    view.port = server.portText();
    view.user = "me";
    view.password = "pw";
    std::vector<std::string> fullList;
    GroupListFetch fetch(view, fullList);
    fetch.getGroups();
    EXPECT_EQ(view.errors, std::vector<std::string>{"no list today\r\n"});
    EXPECT_TRUE(view.mainEnabled);
    verifyPlayed(server);
}

TEST(GroupListFetch, BadPortIsReportedBeforeAnythingIsDisabled)
{
    RecordingView view;
    std::vector<std::string> fullList{"kept?"};
    GroupListFetch fetch(view, fullList);
    for (const char* port : {"", "12a", "0", "70000"}) {
        view.log.clear();
        view.port = port;
        fetch.getGroups();
        ASSERT_EQ(view.log.size(), 1u) << port;
        EXPECT_TRUE(view.log[0] == "error '" + std::string(port) + "' is not a valid integer value"
            || view.log[0] == "error '" + std::string(port) + "' is not a valid port number")
            << view.log[0];
        EXPECT_TRUE(view.mainEnabled);
    }
    EXPECT_EQ(GroupListFetch::portNumber(" 119 "), 119);
}

TEST(GroupListFetch, StopDuringThePendingListReadEndsTheFetchQuietly)
{
    FakeNewsServer server({send("200 news.test"), expect("MODE READER"), send("200 reader"), expect("LIST"),
        sendRaw("215 list follows\r\nfirst 1 1 y\r\nsecond 1 1 y\r\n"), silence(1500), expect("Quit"),
        expectClose()});
    RecordingView view;
    view.port = server.portText();
    std::vector<std::string> fullList;
    GroupListFetch fetch(view, fullList);
    bool stopScheduled = false;
    bool stopped = false;
    view.onCaption = [&](const std::string& text) {
        if (text != "Getting News Groups 2" || stopScheduled)
            return;
        stopScheduled = true;
        QTimer::singleShot(150, [&] {
            stopped = true;
            fetch.stop();
            fetch.getGroups(); // a press that the enabled window lets through is ignored
        });
    };
    fetch.getGroups();
    EXPECT_TRUE(stopped); // the fetch ended at the Stop, inside the server's silence
    EXPECT_TRUE(view.errors.empty());
    EXPECT_TRUE(view.mainEnabled);
    EXPECT_FALSE(view.waitShown);
    EXPECT_FALSE(view.stopVisible);
    EXPECT_EQ(view.caption, "");
    EXPECT_FALSE(view.has("ask Would you like to refresh?"));
    EXPECT_EQ(fullList, (std::vector<std::string>{"first", "second"}));
    EXPECT_FALSE(TextListFile::exists(GroupCacheFile::path("LocalHost")));
    EXPECT_FALSE(fetch.running());
    EXPECT_FALSE(fetch.client().IsConnected());
    verifyPlayed(server);
}

TEST(GroupCacheFile, HostTextsCannotLeaveTheFolderOrHitTheMessageCache)
{
    const std::string folder = GroupCacheFile::folder();
    EXPECT_EQ(GroupCacheFile::path("192.168.1.20"), folder + "192.168.1.20");
    EXPECT_NE(GroupCacheFile::path("MESAGID"), AppPaths::dataFolder() + "mesagid");
    const std::string sneaky = GroupCacheFile::path("../../etc/passwd");
    EXPECT_EQ(sneaky.rfind(folder, 0), 0u);
    EXPECT_EQ(sneaky.find('/', folder.size()), std::string::npos);
    EXPECT_EQ(GroupCacheFile::path(""), "");
}
