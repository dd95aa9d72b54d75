// Command-line options put into the real main window: the fields as typed, the folder made
// absolute, the groups shown and selected, the save mode.
#include "tests/support/TestEnvironment.h"

#include "app/CommandLineOptions.h"
#include "app/GroupListModel.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/OptionsPage.h"

#include <QDir>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace nimbra::test {
namespace {

TEST(OptionsIntoWindow, FillTheFieldsAndSelectTheGroupsGiven)
{
    const std::string home = TestEnvironment::makeFolder("cwd");
    QDir::setCurrent(QString::fromStdString(home));
    const CommandLineOptions options = CommandLineOptions::parse(
        {"nimbra", "--server", "news.example.net", "--port", "563", "--user", "ann", "--password", "secret",
         "--folder", "pictures/../shots", "--groups", "b.two, a.one", "--group", "c.three,a.one",
         "--separate-by-groups", "--timeout", "45"});
    EXPECT_EQ(options.groups, (std::vector<std::string>{"b.two", "a.one", "c.three"}));
    EXPECT_FALSE(options.getFiles);

    MainWindow window;
    options.applyTo(window);
    EXPECT_EQ(window.fieldText(Field::Host), "news.example.net");
    EXPECT_EQ(window.fieldText(Field::Port), "563");
    EXPECT_EQ(window.fieldText(Field::UserName), "ann");
    EXPECT_EQ(window.fieldText(Field::Password), "secret");
    EXPECT_EQ(window.fieldText(Field::Timeout), "45");
    EXPECT_EQ(window.fieldText(Field::Folder), home + "shots/");
    EXPECT_TRUE(window.optionsPage()->perGroupButton()->isChecked());
    EXPECT_EQ(window.newsGroupsPage()->model()->entries(), (std::vector<std::string>{"a.one", "b.two", "c.three"}));
    EXPECT_EQ(window.newsGroupsPage()->selectedRows(), (std::vector<int>{0, 1, 2}));
    // The filter the user keeps is not touched by the groups given.
    EXPECT_EQ(window.fieldText(Field::Filter), "binaries");
}

TEST(OptionsIntoWindow, NothingGivenChangesNothing)
{
    MainWindow plain;
    const std::string folder = plain.fieldText(Field::Folder);
    const CommandLineOptions options = CommandLineOptions::parse({"nimbra"});
    options.applyTo(plain);
    EXPECT_EQ(plain.fieldText(Field::Host), "");
    EXPECT_EQ(plain.fieldText(Field::Port), "119");
    EXPECT_EQ(plain.fieldText(Field::Folder), folder);
    EXPECT_TRUE(plain.optionsPage()->oneFolderButton()->isChecked());
    EXPECT_EQ(plain.newsGroupsPage()->model()->count(), 0);
}

} // namespace
} // namespace nimbra::test
