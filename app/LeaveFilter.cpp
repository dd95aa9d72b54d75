#include "app/LeaveFilter.h"

#include <QFocusEvent>

namespace nimbra {

LeaveFilter::LeaveFilter(QObject* field, std::function<void()> onLeave)
    : QObject(field), onLeave_(std::move(onLeave))
{
    field->installEventFilter(this);
}

bool LeaveFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            onLeave_();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace nimbra
