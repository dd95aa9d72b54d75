#pragma once

#include <QLoggingCategory>
#include <QString>

#include <algorithm>
#include <string>
#include <vector>

namespace nimbra::test {

// Keeps every log message ("category: text") while it lives; one at a time, on any thread
// that logs while the test waits in its event loop.
class LogCapture {
public:
    LogCapture() : previous_(qInstallMessageHandler(&LogCapture::keep)) { lines_().clear(); }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    bool has(const std::string& part) const { return count(part) > 0; }
    long count(const std::string& part) const
    {
        return std::count_if(lines_().begin(), lines_().end(),
                             [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }

private:
    static std::vector<std::string>& lines_()
    {
        static std::vector<std::string> lines;
        return lines;
    }
    static void keep(QtMsgType, const QMessageLogContext& context, const QString& text)
    {
        lines_().push_back(std::string(context.category ? context.category : "") + ": " + text.toStdString());
    }
    QtMessageHandler previous_;
};

} // namespace nimbra::test
