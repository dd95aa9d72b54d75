// The group cache file is named after the host text, which the user types and a stored
// setting repeats: no host text may lead outside the lists' folder or onto one of the
// program's own files.
#include "app/GroupCacheFile.h"
#include "app/MainWindow.h"
#include "platform/AppPaths.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"
#include "app/WindowSettings.h"
#include "tests/app/RecordingDialogs.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>

namespace nimbra {
namespace {

TEST(GroupCachePath, PlainHostIsItsLowerCaseName)
{
    const std::string data = GroupCacheFile::folder();
    EXPECT_EQ(data, AppPaths::dataFolder() + "newsgroups/");
    EXPECT_EQ(GroupCacheFile::path("NewsHost"), data + "newshost");
    EXPECT_EQ(GroupCacheFile::path("127.0.0.1"), data + "127.0.0.1");
    EXPECT_EQ(GroupCacheFile::path("News.Example.ORG"), GroupCacheFile::path("news.example.org"));
    EXPECT_EQ(GroupCacheFile::path(""), "");
}

TEST(GroupCachePath, HostileHostStaysInsideTheListsFolder)
{
    const std::string data = GroupCacheFile::folder();
    const std::vector<std::string> hosts{"../escape", "..", ".", "a/b", "/etc/passwd", "a\\..\\b", "x\ny", "mesagid",
             "MESAGID", ".hidden", std::string(500, 'h'), std::string("nul\0byte", 8)};
    for (const std::string& host : hosts) {
        const std::string path = GroupCacheFile::path(host);
        ASSERT_EQ(path.compare(0, data.size(), data), 0) << host;
        const std::string name = path.substr(data.size());
        EXPECT_FALSE(name.empty()) << host;
        EXPECT_EQ(name.find('/'), std::string::npos) << host;
        EXPECT_NE(name[0], '.') << host;
        EXPECT_NE(path, AppPaths::dataFolder() + "mesagid") << host;
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
    const std::string data = GroupCacheFile::folder();
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

TEST(GroupCachePath, AHostNamedAfterAnOwnFileNeverSharesIt)
{
    // The program's own files in the data folder, as a later version may add more.
    const std::string data = AppPaths::dataFolder();
    const std::vector<std::string> own{"mesagid", "yenc-parts", "registry", "nimbra.log", "nimbra.log.1"};
    for (const std::string& name : own)
        ASSERT_TRUE(TextListFile::save(data + name, {"own data of " + name}));
    for (const std::string& name : own) {
        std::string upper = name;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const std::string& host : {name, upper}) {
            const std::string path = GroupCacheFile::path(host);
            EXPECT_NE(path, data + name) << host;
            ASSERT_TRUE(TextListFile::save(path, {"alt.binaries.listed"})) << host;
        }
    }
    for (const std::string& name : own) {
        std::vector<std::string> lines;
        ASSERT_TRUE(TextListFile::load(data + name, lines)) << name;
        EXPECT_EQ(lines, std::vector<std::string>{"own data of " + name}) << name << " was changed";
    }
    // And a window started on such a server reads no own file as its group list.
    {
        RegistryStore store;
        store.openKey(WindowSettings::SettingsKey, true);
        store.writeString("NEWSHost", "yenc-parts");
    }
    ASSERT_TRUE(std::remove(GroupCacheFile::path("yenc-parts").c_str()) == 0);
    test::RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_TRUE(window.groupList().empty());
}

} // namespace
} // namespace nimbra
