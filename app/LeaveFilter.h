#pragma once

#include <QObject>
#include <functional>

namespace nimbra {

// Calls a handler when focus leaves the watched field for another control of the window (the
// field's exit event). Focus lost because the whole window was deactivated, or to a popup
// menu, is no exit: the user has not left the field.
class LeaveFilter : public QObject {
    Q_OBJECT
public:
    LeaveFilter(QObject* field, std::function<void()> onLeave);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onLeave_;
};

} // namespace nimbra
