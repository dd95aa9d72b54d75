#include "app/BuildDate.h"

#include <QLocale>

namespace nimbra {

QDateTime BuildDate::dateTime()
{
    // __DATE__ is "Mmm dd yyyy" with a space-padded day; the C locale reads the month name.
    const QString text = QStringLiteral(__DATE__ " " __TIME__).simplified();
    return QLocale::c().toDateTime(text, QStringLiteral("MMM d yyyy HH:mm:ss"));
}

QString BuildDate::aboutText()
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t')); // the time zone name is no part of a time of day
    return QStringLiteral("Build ") + QLocale::system().toString(dateTime().time(), format.trimmed());
}

} // namespace nimbra
