// Command-line options put into the real main window: the fields as typed, the folder made
// absolute, the groups shown and selected, the save mode.
#include "tests/support/TestEnvironment.h"

#include "app/CommandLineOptions.h"
#include "app/FieldRules.h"
#include "app/GroupListModel.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/OptionsPage.h"
#include "app/SessionWiring.h"

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

TEST(OptionsIntoWindow, TlsTicksTheBoxAsTheUserWouldAndAGivenPortStays)
{
    MainWindow fresh;
    CommandLineOptions::parse({"nimbra", "--tls"}).applyTo(fresh);
    EXPECT_EQ(fresh.fieldText(Field::Tls), "1");
    EXPECT_EQ(fresh.fieldText(Field::Port), "563");

    MainWindow given;
    CommandLineOptions::parse({"nimbra", "--port", "11119", "--tls"}).applyTo(given);
    EXPECT_EQ(given.fieldText(Field::Tls), "1");
    EXPECT_EQ(given.fieldText(Field::Port), "11119");
    // Even the port the box would change, when it is the one given.
    MainWindow plainPort;
    CommandLineOptions::parse({"nimbra", "--tls", "--port", "119"}).applyTo(plainPort);
    EXPECT_EQ(plainPort.fieldText(Field::Tls), "1");
    EXPECT_EQ(plainPort.fieldText(Field::Port), "119");

    // A stored tick is cleared by --no-tls, and 563 goes back to 119 with it.
    MainWindow stored;
    stored.setFieldText(Field::Tls, "1");
    stored.setFieldText(Field::Port, "563");
    CommandLineOptions::parse({"nimbra", "--no-tls"}).applyTo(stored);
    EXPECT_EQ(stored.fieldText(Field::Tls), "0");
    EXPECT_EQ(stored.fieldText(Field::Port), "119");
    // Without either, the stored choice stays.
    stored.setFieldText(Field::Tls, "1");
    CommandLineOptions::parse({"nimbra", "--port", "563"}).applyTo(stored);
    EXPECT_EQ(stored.fieldText(Field::Tls), "1");
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
    EXPECT_EQ(plain.fieldText(Field::Tls), "0");
}

TEST(OptionsIntoWindow, ScanChoicesAndRescanOfTheGivenGroups)
{
    MainWindow window;
    EXPECT_EQ(window.fieldText(Field::FastScan), "1");  // ticked at design
    EXPECT_EQ(window.fieldText(Field::Compression), "1");
    EXPECT_EQ(window.fieldText(Field::Pipeline), "16");
    EXPECT_EQ(window.fieldText(Field::Connections), "4");
    window.setFieldText(Field::Host, "news.example.net");
    window.setFieldText(Field::Port, "119");
    GroupMarks& marks = window.sessionWiring().groupMarks();
    marks.setMark("news.example.net:119", "a.one", 10);
    marks.setMark("news.example.net:119", "z.other", 20);

    const CommandLineOptions options = CommandLineOptions::parse(
        {"nimbra", "--classic-walk", "--match", "\\.jpe?g", "--exclude", "(?i)sample", "--groups", "a.one", "--rescan",
         "--pipeline", "4", "--connections", "12", "--no-compression"});
    options.applyTo(window);
    EXPECT_EQ(window.fieldText(Field::FastScan), "0");
    EXPECT_EQ(window.fieldText(Field::Pipeline), "4");
    EXPECT_EQ(window.fieldText(Field::Connections), "12");
    EXPECT_EQ(window.fieldText(Field::Compression), "0");
    EXPECT_EQ(window.fieldText(Field::SubjectMatch), "\\.jpe?g");
    EXPECT_EQ(window.fieldText(Field::SubjectExclude), "(?i)sample");
    EXPECT_EQ(marks.mark("news.example.net:119", "a.one"), 0);
    EXPECT_EQ(marks.mark("news.example.net:119", "z.other"), 20);  // not given: kept
}

TEST(OptionsIntoWindow, DuplicateChoicesStartOnAndKeepDuplicatesClearsTheBox)
{
    MainWindow window;
    EXPECT_EQ(window.fieldText(Field::SkipKnown), "1");  // ticked at design
    EXPECT_EQ(window.fieldText(Field::SimilarBits), "5");
    CommandLineOptions::parse({"nimbra", "--keep-duplicates"}).applyTo(window);
    EXPECT_EQ(window.fieldText(Field::SkipKnown), "0");
    EXPECT_EQ(FieldRules::similarBits("16"), "16");
    EXPECT_EQ(FieldRules::similarBits("17"), "5");
    EXPECT_EQ(FieldRules::similarBits(""), "5");
    EXPECT_EQ(FieldRules::similarBits("0"), "0");
}

} // namespace
} // namespace nimbra::test
