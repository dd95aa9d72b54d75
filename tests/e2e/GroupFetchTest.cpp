// "Get groups" through the real main window, offscreen, against the demo news server: the
// cache file, the filter, and a reload from the cache without the server.
#include "tests/e2e/WindowAtDemo.h"
#include "tests/support/EventLoop.h"

#include "app/GroupCacheFile.h"
#include "platform/TextListFile.h"

#include <QLineEdit>

namespace nimbra::test {
namespace {

TEST(GroupFetch, GetGroupsCachesTheListAndTheFilterNarrowsIt)
{
    WindowAtDemo at;
    at.getGroups();
    ASSERT_TRUE(at.dialogs.messages.empty()) << at.dialogs.messages.front();

    // The cache holds the server's list in its order; the box the "binaries" ones, sorted.
    std::vector<std::string> cached;
    TextListFile::load(GroupCacheFile::path("127.0.0.1"), cached);
    std::vector<std::string> all = at.server.content().groups();
    std::sort(all.begin(), all.end());  // the model lists its groups by name
    EXPECT_EQ(cached, all);
    std::vector<std::string> binaries = at.server.binariesGroups();
    std::sort(binaries.begin(), binaries.end());
    EXPECT_EQ(at.listBox(), binaries);

    at.window->setFilterDelay(20);
    at.window->newsGroupsPage()->filterEdit()->setText("mime");
    EXPECT_TRUE(waitUntil([&] { return at.listBox().size() == 1; }, 3000));
    EXPECT_EQ(at.listBox(), std::vector<std::string>{"demo.binaries.pictures.mime"});

    // With a cache, the next press asks; No loads the file and leaves the server alone.
    const int connections = at.server.connections();
    at.dialogs.answers = {false};
    at.getGroups();
    EXPECT_EQ(at.dialogs.questions, std::vector<std::string>{"Would you like to refresh?"});
    EXPECT_EQ(at.server.connections(), connections);
    EXPECT_EQ(at.listBox(), std::vector<std::string>{"demo.binaries.pictures.mime"});
}

} // namespace
} // namespace nimbra::test
