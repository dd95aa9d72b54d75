#pragma once

#include <QObject>

namespace nimbra {

// The key-press filter of the numeric fields (port, time-out, cache, minimum, maximum): a
// typed character other than backspace or "0" to "9" is discarded. Keys that type no
// printable character (arrows, Delete, Tab, shortcuts) pass as before. One filter may serve
// any number of fields.
class DigitFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Edit9KeyPress: true when the typed character may reach the field.
    static bool Edit9KeyPress(char16_t key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace nimbra
