#pragma once

#include <QObject>
#include <QPoint>

#include <functional>
#include <string>

class QListView;
class QMenu;

namespace nimbra {

// The newsgroup list box's context menu with "Rescan from the start": the group under the
// pointer, or every selected group when the pointer is on a selected one, forgets its mark, so
// the next run scans it from its first article again. The list box must outlive the menu.
class GroupRescanMenu : public QObject {
public:
    using Rescan = std::function<void(const std::string& group)>;

    GroupRescanMenu(QListView& listBox, Rescan rescan);

    static constexpr const char* ActionText = "Rescan from the start";

    // The menu for a click at pos (list box coordinates); null where no group is. The caller
    // owns it.
    QMenu* menuAt(const QPoint& pos);

private:
    QListView& listBox_;
    Rescan rescan_;
};

} // namespace nimbra
