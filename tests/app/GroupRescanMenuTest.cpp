// The list box's "Rescan from the start": which groups forget their marks, and that the
// window's wiring forgets them for the server in its fields only.
#include "app/GroupRescanMenu.h"
#include "app/GroupListModel.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/SessionWiring.h"
#include "tests/app/RecordingDialogs.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QListView>
#include <QMenu>
#include <QStringListModel>
#include <gtest/gtest.h>

#include <memory>

namespace nimbra {
namespace {

using Strings = std::vector<std::string>;

struct ListBox {
    ListBox()
    {
        view.setModel(&model);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.resize(200, 200);
        view.show();
    }
    QPoint at(int row) { return view.visualRect(model.index(row, 0)).center(); }
    QStringListModel model{{"alt.a", "alt.b", "alt.c"}};
    QListView view;
};

Strings chosen(GroupRescanMenu& menu, const QPoint& pos, Strings& rescanned)
{
    rescanned.clear();
    std::unique_ptr<QMenu> popup(menu.menuAt(pos));
    if (!popup)
        return {"(no menu)"};
    EXPECT_EQ(popup->actions().size(), 1);
    EXPECT_EQ(popup->actions().front()->text().toStdString(), GroupRescanMenu::ActionText);
    popup->actions().front()->trigger();
    return rescanned;
}

TEST(GroupRescanMenu, ActsOnTheGroupClickedOrOnTheSelectionHoldingIt)
{
    ListBox list;
    Strings rescanned;
    GroupRescanMenu menu(list.view, [&](const std::string& group) { rescanned.push_back(group); });

    EXPECT_EQ(chosen(menu, list.at(1), rescanned), (Strings{"alt.b"}));
    list.view.selectionModel()->select(list.model.index(0, 0), QItemSelectionModel::Select);
    list.view.selectionModel()->select(list.model.index(2, 0), QItemSelectionModel::Select);
    EXPECT_EQ(chosen(menu, list.at(2), rescanned), (Strings{"alt.a", "alt.c"}));
    EXPECT_EQ(chosen(menu, list.at(1), rescanned), (Strings{"alt.b"}));  // outside the selection
    EXPECT_EQ(chosen(menu, QPoint(150, 190), rescanned), (Strings{"(no menu)"}));  // below the rows
    EXPECT_TRUE(rescanned.empty());
}

TEST(GroupRescanMenu, WindowForgetsTheMarkForItsServerOnly)
{
    test::RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    window.setFieldText(Field::Host, "News.Example");
    window.setFieldText(Field::Port, "119");
    GroupMarks& marks = window.sessionWiring().groupMarks();
    marks.setMark("news.example:119", "alt.a", 40);
    marks.setMark("news.example:119", "alt.b", 50);
    marks.setMark("other:119", "alt.a", 60);

    window.sessionWiring().rescan("alt.a");
    EXPECT_EQ(marks.mark("news.example:119", "alt.a"), 0);
    EXPECT_EQ(marks.mark("news.example:119", "alt.b"), 50);
    EXPECT_EQ(marks.mark("other:119", "alt.a"), 60);
    EXPECT_EQ(GroupMarks(GroupMarks::defaultPath()).mark("news.example:119", "alt.b"), 50);  // written
}

} // namespace
} // namespace nimbra
