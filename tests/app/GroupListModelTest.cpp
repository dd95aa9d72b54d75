#include "app/GroupListModel.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

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

TEST(GroupListModel, LargeListSortsExactlyAsTheComparer)
{
    // Long shared prefixes, mixed case, lengths around the eight-byte steps, NUL bytes and
    // repeats: the cases a chunked sort can get wrong.
    std::mt19937 random(7);
    const std::string alphabet = std::string("aAbB.-_z0", 9) + std::string(1, '\0');
    std::vector<std::string> names;
    for (int i = 0; i < 20000; ++i) {
        std::string name = (i % 3 == 0) ? "alt.binaries.pictures." : (i % 3 == 1) ? "ALT.Binaries." : "";
        const std::size_t length = random() % 20;
        for (std::size_t j = 0; j < length; ++j)
            name += alphabet[random() % alphabet.size()];
        names.push_back(name);
    }
    for (int i = 0; i < 500; ++i)
        names.push_back(names[static_cast<std::size_t>(random() % names.size())]);
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end(), GroupListModel::lessThan);

    GroupListModel model;
    model.fill(names, "");
    EXPECT_EQ(model.entries(), expected);
    // Refilling from the same list, and from a changed one.
    model.fill(names, "Binaries");
    EXPECT_EQ(model.count(), static_cast<int>(std::count_if(names.begin(), names.end(),
                                  [](const std::string& n) { return n.find("Binaries") != std::string::npos; })));
    names.push_back("aaa");
    expected.insert(std::lower_bound(expected.begin(), expected.end(), std::string("aaa"), GroupListModel::lessThan), "aaa");
    model.fill(names, "");
    EXPECT_EQ(model.entries(), expected);
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
