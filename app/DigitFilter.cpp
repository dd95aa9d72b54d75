#include "app/DigitFilter.h"

#include <QKeyEvent>

namespace nimbra {

bool DigitFilter::Edit9KeyPress(char16_t key)
{
    return key == 8 || (key >= u'0' && key <= u'9');
}

bool DigitFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool printable = !text.isEmpty() && text.at(0).isPrint();
        const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
        if (printable && !shortcut && !Edit9KeyPress(text.at(0).unicode()))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace nimbra
