// Start-up: what the window shows and creates on a clean machine, and what it makes of stored
// settings, totals and lists, good or bad.
#include "app/GraphicsPage.h"
#include "app/GroupCacheFile.h"
#include "app/MainWindow.h"
#include "app/WindowSettings.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"
#include "tests/app/RecordingDialogs.h"

#include <QLabel>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using test::RecordingDialogs;

void storeSettings(const std::vector<std::pair<std::string, std::string>>& values)
{
    RegistryStore store;
    store.openKey(WindowSettings::SettingsKey, true);
    for (const auto& [name, value] : values)
        store.writeString(name, value);
    store.closeKey();
}

TEST(WindowStart, FirstStartShowsDefaultsAndCreatesTheKeys)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_EQ(window.fieldText(Field::Host), "");
    EXPECT_EQ(window.fieldText(Field::Port), "119");
    EXPECT_EQ(window.fieldText(Field::UserName), "");
    EXPECT_EQ(window.fieldText(Field::Password), "");
    EXPECT_EQ(window.fieldText(Field::Filter), "binaries");
    EXPECT_EQ(window.fieldText(Field::Timeout), "30");
    EXPECT_EQ(window.fieldText(Field::Cache), "5000");
    EXPECT_EQ(window.fieldText(Field::Minimum), "0");
    EXPECT_EQ(window.fieldText(Field::Maximum), "200");
    EXPECT_EQ(window.fieldText(Field::Folder), AppPaths::defaultDownloadFolder());
    EXPECT_FALSE(window.separateByGroups());
    EXPECT_EQ(window.graphicsPage()->totalFilesLabel()->text(), "0");
    EXPECT_EQ(window.graphicsPage()->totalKBLabel()->text(), "0");
    EXPECT_EQ(window.groupCount(), 0);
    EXPECT_TRUE(dialogs.questions.empty());

    RegistryStore store; // reads the file afresh
    EXPECT_TRUE(store.keyExists("Software\\Tolmar\\Nimbra V1.0"));
    EXPECT_TRUE(store.keyExists("Software\\Tolmar"));
    ASSERT_TRUE(store.openKey("Software\\Microsoft\\Windows\\Help", false));
    EXPECT_EQ(store.readString("nimbra.hlp"), AppPaths::programFolder());
}

TEST(WindowStart, StoredValuesFillOnlyTheirFields)
{
    storeSettings({{"timeout", "45"}, {"contain", "pictures"}, {"lines", "5"}});
    {
        RegistryStore store;
        store.openKey(WindowSettings::TotalsKey, true);
        store.writeString("totf", "12");
        store.writeString("tots", "3400");
    }
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_EQ(window.fieldText(Field::Timeout), "45");
    EXPECT_EQ(window.fieldText(Field::Filter), "pictures");
    EXPECT_EQ(window.fieldText(Field::Minimum), "5");
    EXPECT_EQ(window.fieldText(Field::Cache), "5000");
    EXPECT_EQ(window.fieldText(Field::Port), "119");
    EXPECT_EQ(window.fieldText(Field::Folder), AppPaths::defaultDownloadFolder());
    EXPECT_EQ(window.statistics().TotalFiles, 12);
    EXPECT_EQ(window.statistics().TotalKB, 3400);
    EXPECT_EQ(window.graphicsPage()->totalKBLabel()->text(), "3400");
    EXPECT_EQ(window.graphicsPage()->todayFilesLabel()->text(), "0");
}

TEST(WindowStart, StoredValuesTheFieldsWouldRefuseGiveWayToTheRules)
{
    storeSettings({{"NEWSHost", "news.example"}, {"timeout", "abc"}, {"cache", "1"}, {"port", "1x9"},
        {"lines", "300"}, {"maxlines", "0"}});
    {
        RegistryStore store;
        store.openKey(WindowSettings::TotalsKey, true);
        store.writeString("totf", "many");
    }
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_EQ(window.fieldText(Field::Host), "news.example");
    EXPECT_EQ(window.fieldText(Field::Timeout), "20");
    EXPECT_EQ(window.fieldText(Field::Cache), "2000");
    EXPECT_EQ(window.fieldText(Field::Port), "119");
    EXPECT_EQ(window.fieldText(Field::Maximum), "200");
    EXPECT_EQ(window.fieldText(Field::Minimum), "0");
    EXPECT_EQ(window.statistics().TotalFiles, 0);
}

TEST(WindowStart, CorruptSettingsStoreStartsWithDefaults)
{
    ASSERT_TRUE(AtomicFile::write(RegistryStore::defaultPath(), std::string("\x00\xff garbage\nK\tbroken", 18)));
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_EQ(window.fieldText(Field::Timeout), "30");
    EXPECT_EQ(window.fieldText(Field::Host), "");
    RegistryStore store;
    EXPECT_TRUE(store.keyExists(WindowSettings::SettingsKey));
}

TEST(WindowStart, LoadsTheMessageIdsAndTheRememberedHostsGroups)
{
    storeSettings({{"NEWSHost", "NewsHost"}, {"contain", ""}});
    ASSERT_TRUE(TextListFile::save(AppPaths::dataFolder() + "mesagid", {"<a@x>", "<b@x>"}));
    ASSERT_TRUE(TextListFile::save(GroupCacheFile::folder() + "newshost", {"z.group", "a.group", "m.group"}));
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_EQ(window.messageIdCache(), (std::vector<std::string>{"<a@x>", "<b@x>"}));
    EXPECT_EQ(window.groupList(), (std::vector<std::string>{"z.group", "a.group", "m.group"}));
    ASSERT_EQ(window.groupCount(), 3);
    EXPECT_EQ(window.groupAt(0), "a.group");
    EXPECT_EQ(window.groupAt(2), "z.group");
}

TEST(WindowStart, UnreadableListsStartEmpty)
{
    storeSettings({{"NEWSHost", "newshost"}});
    // A folder where the files should be: neither can be read.
    ASSERT_TRUE(AppPaths::ensureFolder(AppPaths::dataFolder() + "mesagid/"));
    ASSERT_TRUE(AppPaths::ensureFolder(AppPaths::dataFolder() + "newshost/"));
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_TRUE(window.messageIdCache().empty());
    EXPECT_TRUE(window.groupList().empty());
    EXPECT_EQ(window.groupCount(), 0);
}

} // namespace
} // namespace nimbra
