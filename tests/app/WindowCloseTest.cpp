// Closing: the confirmation, and what a confirmed close writes.
#include "app/ButtonRow.h"
#include "app/MainWindow.h"
#include "app/OptionsPage.h"
#include "app/WindowSettings.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"
#include "tests/app/RecordingDialogs.h"

#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using test::RecordingDialogs;

std::string registryBytes()
{
    std::string bytes;
    AtomicFile::read(RegistryStore::defaultPath(), bytes);
    return bytes;
}

void fillFields(MainWindow& window)
{
    window.setFieldText(Field::Host, "news.example.org");
    window.setFieldText(Field::Port, "563");
    window.setFieldText(Field::Filter, "pictures");
    window.setFieldText(Field::Timeout, "90");
    window.setFieldText(Field::Cache, "300");
    window.setFieldText(Field::Minimum, "10");
    window.setFieldText(Field::Maximum, "900");
    window.setFieldText(Field::Folder, "/srv/files/");
    window.setFieldText(Field::UserName, "me");
    window.setFieldText(Field::Password, "secret");
}

TEST(WindowClose, AnsweredNoKeepsTheWindowAndWritesNothing)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    window.show();
    const std::string before = registryBytes();
    fillFields(window);
    window.messageIdCache().push_back("<new@x>");

    dialogs.answers = {false};
    window.buttonRow()->closeButton()->click();
    EXPECT_EQ(dialogs.questions, (std::vector<std::string>{"End the program?"}));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(registryBytes(), before);
    EXPECT_FALSE(TextListFile::exists(MainWindow::messageIdCachePath()));
}

TEST(WindowClose, AnsweredYesWritesSettingsTotalsAndMessageIds)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    window.show();
    fillFields(window);
    window.statistics().TotalFiles = 7;
    window.statistics().TotalKB = 1234;
    window.showStatistics();
    window.messageIdCache() = {"<a@x>", "<b@x>"};

    dialogs.answers = {true};
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());

    RegistryStore store;
    ASSERT_TRUE(store.openKey(WindowSettings::SettingsKey, false));
    EXPECT_EQ(store.readString("NEWSHost"), "news.example.org");
    EXPECT_EQ(store.readString("port"), "563");
    EXPECT_EQ(store.readString("contain"), "pictures");
    EXPECT_EQ(store.readString("timeout"), "90");
    EXPECT_EQ(store.readString("cache"), "300");
    EXPECT_EQ(store.readString("lines"), "10");
    EXPECT_EQ(store.readString("maxlines"), "900");
    EXPECT_EQ(store.readString("dirtosave"), "/srv/files/");
    EXPECT_FALSE(store.valueExists("UserName"));
    EXPECT_FALSE(store.valueExists("password"));
    ASSERT_TRUE(store.openKey(WindowSettings::TotalsKey, false));
    EXPECT_EQ(store.readString("totf"), "7");
    EXPECT_EQ(store.readString("tots"), "1234");

    std::string mesagid;
    ASSERT_TRUE(AtomicFile::read(AppPaths::dataFolder() + "mesagid", mesagid));
    EXPECT_EQ(mesagid, "<a@x>\r\n<b@x>\r\n");
}

TEST(WindowClose, SettingsSurviveACloseAndAStart)
{
    {
        RecordingDialogs dialogs;
        MainWindow window(&dialogs);
        fillFields(window);
        window.statistics().TotalFiles = 3;
        window.statistics().TotalKB = 44;
        window.showStatistics();
        window.optionsPage()->perGroupButton()->setChecked(true);
        dialogs.answers = {true};
        ASSERT_TRUE(window.close());
    }
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_EQ(window.fieldText(Field::Host), "news.example.org");
    EXPECT_EQ(window.fieldText(Field::Port), "563");
    EXPECT_EQ(window.fieldText(Field::Filter), "pictures");
    EXPECT_EQ(window.fieldText(Field::Timeout), "90");
    EXPECT_EQ(window.fieldText(Field::Cache), "300");
    EXPECT_EQ(window.fieldText(Field::Minimum), "10");
    EXPECT_EQ(window.fieldText(Field::Maximum), "900");
    EXPECT_EQ(window.fieldText(Field::Folder), "/srv/files/");
    // Credentials and the save mode are not kept.
    EXPECT_EQ(window.fieldText(Field::UserName), "");
    EXPECT_EQ(window.fieldText(Field::Password), "");
    EXPECT_FALSE(window.separateByGroups());
    EXPECT_EQ(window.statistics().TotalFiles, 3);
    EXPECT_EQ(window.statistics().TotalKB, 44);
    EXPECT_EQ(window.statistics().TodayFiles, 0);
}

TEST(WindowClose, ResetAsksAndClearsAllFourCounters)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    window.statistics() = Statistics{5, 6, 7, 8};
    window.showStatistics();

    dialogs.answers = {false};
    window.optionsPage()->resetButton()->click();
    EXPECT_EQ(window.statistics().TotalKB, 6);

    dialogs.answers = {true};
    window.optionsPage()->resetButton()->click();
    EXPECT_EQ(dialogs.questions, (std::vector<std::string>{"Are you sure?", "Are you sure?"}));
    EXPECT_EQ(window.statistics().TotalFiles, 0);
    EXPECT_EQ(window.statistics().TotalKB, 0);
    EXPECT_EQ(window.statistics().TodayFiles, 0);
    EXPECT_EQ(window.statistics().TodayKB, 0);
    dialogs.answers = {true};
    ASSERT_TRUE(window.close());
    RegistryStore store;
    store.openKey(WindowSettings::TotalsKey, false);
    EXPECT_EQ(store.readString("totf"), "0");
    EXPECT_EQ(store.readString("tots"), "0");
}

} // namespace
} // namespace nimbra
