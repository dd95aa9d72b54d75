// The filter text and its timer, as the list box shows them.
#include "app/GroupListModel.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "tests/app/RecordingDialogs.h"
#include "tests/support/EventLoop.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using test::RecordingDialogs;

std::vector<std::string> boxEntries(const MainWindow& window)
{
    std::vector<std::string> rows;
    for (int i = 0; i < window.groupCount(); ++i)
        rows.push_back(window.groupAt(i));
    return rows;
}

void typeKey(QLineEdit* edit, QChar c)
{
    QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
}

class GroupFilter : public ::testing::Test {
protected:
    GroupFilter()
    {
        window.groupList() = {"alt.binaries.pictures", "alt.Binaries.x", "comp.lang", "alt.binaries.pictures",
            "alt.binaries.misc"};
        window.fillGroupList();
    }

    RecordingDialogs dialogs;
    MainWindow window{&dialogs};
};

TEST_F(GroupFilter, MatchIsCaseSensitiveAndDuplicatesShowTwice)
{
    EXPECT_EQ(boxEntries(window),
        (std::vector<std::string>{"alt.binaries.misc", "alt.binaries.pictures", "alt.binaries.pictures"}));
    window.setFieldText(Field::Filter, "");
    window.fillGroupList();
    EXPECT_EQ(window.groupCount(), 5);
    window.setFieldText(Field::Filter, "Binaries");
    window.fillGroupList();
    EXPECT_EQ(boxEntries(window), (std::vector<std::string>{"alt.Binaries.x"}));
}

TEST_F(GroupFilter, FilterChangeStartsTheTimerAndTheRefillStopsIt)
{
    EXPECT_FALSE(window.filterTimer()->isActive()); // loading the stored filter is no typing
    EXPECT_EQ(window.filterTimer()->interval(), 1000);
    window.setFieldText(Field::Filter, "comp");
    EXPECT_TRUE(window.filterTimer()->isActive());
    EXPECT_EQ(window.groupCount(), 3); // nothing happens before the timer fires
    window.Timer2Timer();
    EXPECT_FALSE(window.filterTimer()->isActive());
    EXPECT_EQ(boxEntries(window), (std::vector<std::string>{"comp.lang"}));
}

TEST_F(GroupFilter, FurtherChangesDoNotRestartTheWait)
{
    // Told by the order of timer events, not by a clock: the refill is due at 200 ms, a second
    // key comes at 100 ms and a marker at 300 ms. Unrestarted, the refill comes before the
    // marker; a restart would move it to 300 ms after the second key, past the marker. Timers
    // fire in the order of their deadlines even on a slow machine, so this cannot fail by load.
    window.setFilterDelay(200);
    QLineEdit* filter = window.newsGroupsPage()->filterEdit();
    QSignalSpy resets(window.newsGroupsPage()->model(), &QAbstractItemModel::modelReset);
    filter->clear(); // the first change starts the wait
    ASSERT_TRUE(window.filterTimer()->isActive());
    int refillsAtMarker = -1;
    QTimer::singleShot(100, Qt::PreciseTimer, filter, [&] { typeKey(filter, 'x'); });
    QTimer::singleShot(300, Qt::PreciseTimer, filter, [&] { refillsAtMarker = static_cast<int>(resets.count()); });
    ASSERT_TRUE(test::waitUntil([&] { return refillsAtMarker >= 0; }, 5000));
    EXPECT_EQ(refillsAtMarker, 1) << "the second change restarted the wait";
}

TEST_F(GroupFilter, FiveKeyBurstRefillsOnceWithAllFiveCharacters)
{
    window.setFilterDelay(400);
    QLineEdit* filter = window.newsGroupsPage()->filterEdit();
    filter->clear();
    window.Timer2Timer(); // the clear's own refill, out of the way
    QSignalSpy resets(window.newsGroupsPage()->model(), &QAbstractItemModel::modelReset);

    // Typed without a pass of the event loop between the keys: all five fall inside one wait.
    for (QChar c : QStringLiteral("alt.b"))
        typeKey(filter, c);
    ASSERT_EQ(filter->text(), "alt.b");
    ASSERT_TRUE(test::waitUntil([&] { return resets.count() > 0; }, 3000));
    test::pumpFor(600); // a second refill would come within one more wait
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(window.groupCount(), 3);
    for (const std::string& entry : boxEntries(window))
        EXPECT_NE(entry.find("alt.b"), std::string::npos) << entry;

    // A change after the refill starts a new wait.
    typeKey(filter, 'X');
    EXPECT_TRUE(window.filterTimer()->isActive());
    ASSERT_TRUE(test::waitUntil([&] { return resets.count() > 1; }, 3000));
    EXPECT_EQ(window.groupCount(), 0);
}

TEST_F(GroupFilter, RefillLosesTheSelectionAndTheBoxSelectsMany)
{
    QListView* box = window.newsGroupsPage()->listBox();
    EXPECT_EQ(box->selectionMode(), QAbstractItemView::ExtendedSelection);
    box->selectionModel()->select(box->model()->index(0, 0), QItemSelectionModel::Select);
    box->selectionModel()->select(box->model()->index(2, 0), QItemSelectionModel::Select);
    EXPECT_TRUE(window.groupSelected(0));
    EXPECT_FALSE(window.groupSelected(1));
    EXPECT_EQ(window.newsGroupsPage()->selectedRows(), (std::vector<int>{0, 2}));
    window.fillGroupList();
    EXPECT_FALSE(window.groupSelected(0));
    EXPECT_TRUE(window.newsGroupsPage()->selectedRows().empty());
}

} // namespace
} // namespace nimbra
