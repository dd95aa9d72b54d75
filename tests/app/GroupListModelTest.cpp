#include "app/GroupListModel.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

std::vector<std::string> rows(const GroupListModel& model)
{
    return model.entries();
}

TEST(GroupListModel, MatchIsCaseSensitiveAtAnyPosition)
{
    GroupListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.fill({"alt.binaries.pictures", "alt.Binaries.x", "binaries", "alt.test", "comp.binariesx"}, "binaries");
    EXPECT_EQ(rows(model), (std::vector<std::string>{"alt.binaries.pictures", "binaries", "comp.binariesx"}));
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), QStringLiteral("binaries"));
}

TEST(GroupListModel, EmptyFilterKeepsEverythingAndDuplicatesShowTwice)
{
    GroupListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.fill({"b.group", "a.group", "b.group"}, "");
    EXPECT_EQ(rows(model), (std::vector<std::string>{"a.group", "b.group", "b.group"}));
    model.fill({"b.group", "a.group", "b.group"}, "b.g");
    EXPECT_EQ(model.count(), 2);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(GroupListModel, SortsCaseInsensitivelyWithTiesByBytes)
{
    GroupListModel model;
    model.fill({"b", "B", "a.z", "A.y", "a", "_x", "alt.b", "Alt.a"}, "");
    // '_' (0x5f) comes before the letters once they are folded to lower case.
    EXPECT_EQ(rows(model), (std::vector<std::string>{"_x", "a", "A.y", "a.z", "Alt.a", "alt.b", "B", "b"}));
    EXPECT_TRUE(GroupListModel::lessThan("alt", "alt.x"));
    EXPECT_FALSE(GroupListModel::lessThan("same", "same"));
}

TEST(GroupListModel, BytesOutsideAsciiAreKeptAndShown)
{
    GroupListModel model;
    model.fill({"de.\xc3\xa4rger", std::string("bad\xff", 4)}, "");
    ASSERT_EQ(model.count(), 2);
    EXPECT_EQ(model.entry(0), std::string("bad\xff", 4));
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), QString::fromUtf8("de.\xc3\xa4rger"));
}

TEST(GroupListModel, RefillDropsTheSelection)
{
    GroupListModel model;
    QItemSelectionModel selection(&model);
    model.fill({"a", "b", "c"}, "");
    selection.select(model.index(1, 0), QItemSelectionModel::Select);
    ASSERT_TRUE(selection.isRowSelected(1, {}));
    model.fill({"a", "b", "c"}, "");
    EXPECT_FALSE(selection.hasSelection());
}

} // namespace
} // namespace nimbra
