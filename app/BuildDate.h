#pragma once

#include <QDateTime>

namespace nimbra {

// When this program was built: the compile time of BuildDate.cpp, in local time.
class BuildDate {
public:
    static QDateTime dateTime();
    // "Build " and the time of day of the build in the system's time format.
    static QString aboutText();
};

} // namespace nimbra
