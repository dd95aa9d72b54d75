#pragma once

#include <QLoggingCategory>

#include <string>

namespace nimbra {

// The program's log categories, one per area. Write one line per event that matters:
//   qCInfo(logSession) << "connected to" << host;
// Never a password or the argument of AUTHINFO PASS (the file handler also masks the
// latter, as a second line of defence). Debug messages are off unless QT_LOGGING_RULES
// turns them on.
Q_DECLARE_LOGGING_CATEGORY(logApp)
Q_DECLARE_LOGGING_CATEGORY(logSession)
Q_DECLARE_LOGGING_CATEGORY(logProtocol)
Q_DECLARE_LOGGING_CATEGORY(logSaving)
Q_DECLARE_LOGGING_CATEGORY(logGroupList)

// The process-wide log: a Qt message handler writing every message as one line with a UTC
// time stamp, level and category into a LogFile. Qt's own messages (other categories) also
// keep going to standard error as before; the program's categories go there only when
// mirrored. install() and uninstall() are for the main thread; messages may come from any.
class Log {
public:
    // $XDG_STATE_HOME/nimbra/nimbra.log, else nimbra.log in the data folder.
    static std::string defaultPath();
    // Starts logging to path (rotated at rotationBytes). Returns false, with the reason on
    // standard error, when the file cannot be used; messages then go on to standard error.
    static bool install(const std::string& path, long long rotationBytes = 4 * 1024 * 1024);
    // Restores Qt's handler and closes the file.
    static void uninstall();
    // Mirrors every line on standard error as well (--verbose).
    static void setMirror(bool mirror);

    // One log line: "2026-01-31T12:00:00.000Z info session: text", with line breaks in the
    // text turned into spaces and the argument of an AUTHINFO PASS masked.
    static std::string formatLine(QtMsgType type, const char* category, const QString& text);
    // The text with the argument of every "AUTHINFO PASS" (any case) replaced by "****".
    static std::string masked(std::string text);
};

} // namespace nimbra
