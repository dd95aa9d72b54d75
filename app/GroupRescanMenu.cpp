#include "app/GroupRescanMenu.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QMenu>

#include <vector>

namespace nimbra {

GroupRescanMenu::GroupRescanMenu(QListView& listBox, Rescan rescan)
    : QObject(&listBox), listBox_(listBox), rescan_(std::move(rescan))
{
    listBox_.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&listBox_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QMenu* menu = menuAt(pos)) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(listBox_.viewport()->mapToGlobal(pos));
        }
    });
}

QMenu* GroupRescanMenu::menuAt(const QPoint& pos)
{
    const QModelIndex clicked = listBox_.indexAt(pos);
    if (!clicked.isValid())
        return nullptr;
    std::vector<std::string> groups;
    QItemSelectionModel* selection = listBox_.selectionModel();
    if (selection && selection->isSelected(clicked)) {
        for (const QModelIndex& index : selection->selectedRows())
            groups.push_back(index.data().toString().toStdString());
    } else {
        groups.push_back(clicked.data().toString().toStdString());
    }
    auto* menu = new QMenu(&listBox_);
    QObject::connect(menu->addAction(QString::fromLatin1(ActionText)), &QAction::triggered, menu,
                     [this, groups] {
                         for (const std::string& group : groups)
                             rescan_(group);
                     });
    return menu;
}

} // namespace nimbra
