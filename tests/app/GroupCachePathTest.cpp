// The group cache file is named after the host text, which the user types and a stored
// setting repeats: no host text may lead outside the data folder or onto "mesagid".
#include "app/GroupCacheFile.h"
#include "app/MainWindow.h"
#include "platform/AppPaths.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"
#include "app/WindowSettings.h"
#include "tests/app/RecordingDialogs.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

TEST(GroupCachePath, PlainHostIsItsLowerCaseName)
{
    const std::string data = AppPaths::dataFolder();
    EXPECT_EQ(GroupCacheFile::path("NewsHost"), data + "newshost");
    EXPECT_EQ(GroupCacheFile::path("127.0.0.1"), data + "127.0.0.1");
    EXPECT_EQ(GroupCacheFile::path("News.Example.ORG"), GroupCacheFile::path("news.example.org"));
    EXPECT_EQ(GroupCacheFile::path(""), "");
}

TEST(GroupCachePath, HostileHostStaysInsideTheDataFolder)
{
    const std::string data = AppPaths::dataFolder();
    const std::vector<std::string> hosts{"../escape", "..", ".", "a/b", "/etc/passwd", "a\\..\\b", "x\ny", "mesagid",
             "MESAGID", ".hidden", std::string(500, 'h'), std::string("nul\0byte", 8)};
    for (const std::string& host : hosts) {
        const std::string path = GroupCacheFile::path(host);
        ASSERT_EQ(path.compare(0, data.size(), data), 0) << host;
        const std::string name = path.substr(data.size());
        EXPECT_FALSE(name.empty()) << host;
        EXPECT_EQ(name.find('/'), std::string::npos) << host;
        EXPECT_NE(name[0], '.') << host;
        EXPECT_NE(name, "mesagid") << host;
        EXPECT_LE(name.size(), 255u) << host;
        EXPECT_EQ(GroupCacheFile::path(host), path) << "stable for " << host;
    }
    EXPECT_NE(GroupCacheFile::path("a/b"), GroupCacheFile::path("a_b"));
}

TEST(GroupCachePath, StartUpNeverReadsAFileOutsideTheDataFolder)
{
    // A list planted where a traversing host text would point.
    const std::string outside = test::TestEnvironment::root() + "planted";
    ASSERT_TRUE(TextListFile::save(outside, {"alt.binaries.planted"}));
    const std::string data = AppPaths::dataFolder();
    std::string climb;
    for (char c : data.substr(test::TestEnvironment::root().size()))
        if (c == '/')
            climb += "../";
    {
        RegistryStore store;
        store.openKey(WindowSettings::SettingsKey, true);
        store.writeString("NEWSHost", climb + "planted");
    }
    test::RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_EQ(window.fieldText(Field::Host), climb + "planted");
    EXPECT_TRUE(window.groupList().empty());
}

} // namespace
} // namespace nimbra
