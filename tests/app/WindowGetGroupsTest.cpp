// "Get groups" as the window runs it: the splash window as the wait window, the window
// disabled meanwhile, the list box refilled afterwards.
#include "app/GroupCacheFile.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/SplashWindow.h"
#include "platform/TextListFile.h"
#include "tests/app/RecordingDialogs.h"
#include "tests/support/FakeNewsServer.h"

#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using namespace nimbra::test;

TEST(WindowGetGroups, DecliningTheRefreshReloadsTheCacheWithoutTheWaitWindow)
{
    ASSERT_TRUE(TextListFile::save(GroupCacheFile::path("newshost"), {"b.binaries", "a.binaries", "c.text"}));
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    window.setFieldText(Field::Host, "NewsHost"); // no such server: nothing may look for it
    window.Timer2Timer();
    ASSERT_EQ(window.groupCount(), 0);

    dialogs.answers = {false};
    window.newsGroupsPage()->getGroupsButton()->click();
    EXPECT_EQ(dialogs.questions, (std::vector<std::string>{"Would you like to refresh?"}));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(window.groupList(), (std::vector<std::string>{"b.binaries", "a.binaries", "c.text"}));
    ASSERT_EQ(window.groupCount(), 2);
    EXPECT_EQ(window.groupAt(0), "a.binaries");
    EXPECT_FALSE(window.splashWindow()->isVisible());
    EXPECT_TRUE(window.isEnabled());
}

TEST(WindowGetGroups, FetchRunsBehindTheWaitWindowAndRefillsTheBox)
{
    FakeNewsServer server({send("200 news.test"), expect("MODE READER"), silence(300), send("200 reader"),
        expect("LIST"), sendBlock("215 list follows", {"alt.binaries.a 10 1 y", "comp.lang.c 5 1 y", "alt.binaries.b 3 1 y"}),
        expect("Quit"), expectClose()});
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    window.show();
    window.setFieldText(Field::Host, "LocalHost");
    window.setFieldText(Field::Port, server.portText());

    bool sawDisabled = false;
    bool sawWaitWindow = false;
    bool sawStop = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        sawDisabled = sawDisabled || !window.isEnabled();
        sawWaitWindow = sawWaitWindow || window.splashWindow()->isVisible();
        sawStop = sawStop || window.splashWindow()->stopButton()->isVisible();
    });
    probe.start(20);
    window.newsGroupsPage()->getGroupsButton()->click(); // blocks until the list is in
    probe.stop();

    EXPECT_TRUE(dialogs.questions.empty()); // no cache yet: no question
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(sawDisabled);
    EXPECT_TRUE(sawWaitWindow);
    EXPECT_TRUE(sawStop);
    EXPECT_TRUE(window.isEnabled());
    EXPECT_FALSE(window.splashWindow()->isVisible());
    EXPECT_EQ(window.splashWindow()->caption(), "");
    EXPECT_EQ(window.groupList().size(), 3u);
    EXPECT_EQ(window.groupCount(), 2); // filter "binaries"
    std::vector<std::string> cached;
    ASSERT_TRUE(TextListFile::load(GroupCacheFile::path("localhost"), cached));
    EXPECT_EQ(cached, window.groupList());
    server.verify();
}

TEST(WindowGetGroups, CloseIsRefusedWhileAFetchRuns)
{
    FakeNewsServer server({send("200 news.test"), expect("MODE READER"), silence(400), send("200 reader"),
        expect("LIST"), sendBlock("215 list follows", {"alt.binaries.a 10 1 y"}), expect("Quit"), expectClose()});
    RecordingDialogs dialogs;
    dialogs.answers = {true, true};
    MainWindow window(&dialogs);
    window.show();
    window.setFieldText(Field::Host, "LocalHost");
    window.setFieldText(Field::Port, server.portText());
    bool closed = true;
    QTimer::singleShot(100, &window, [&] { closed = window.close(); });
    window.newsGroupsPage()->getGroupsButton()->click();
    EXPECT_FALSE(closed);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(window.groupList().size(), 1u);
    server.verify();
}

} // namespace
} // namespace nimbra
