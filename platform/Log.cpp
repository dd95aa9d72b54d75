#include "platform/Log.h"

#include "platform/AppPaths.h"
#include "platform/LogFile.h"

#include <QDateTime>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

namespace nimbra {

Q_LOGGING_CATEGORY(logApp, "app", QtInfoMsg)
Q_LOGGING_CATEGORY(logSession, "session", QtInfoMsg)
Q_LOGGING_CATEGORY(logProtocol, "protocol", QtInfoMsg)
Q_LOGGING_CATEGORY(logSaving, "saving", QtInfoMsg)
Q_LOGGING_CATEGORY(logGroupList, "grouplist", QtInfoMsg)

namespace {

std::unique_ptr<LogFile> file;
std::atomic<bool> mirror{false};
QtMessageHandler previous = nullptr;

bool ownCategory(const char* category)
{
    static const char* const own[] = {"app", "session", "protocol", "saving", "grouplist"};
    return category && std::any_of(std::begin(own), std::end(own),
                                   [&](const char* name) { return std::strcmp(name, category) == 0; });
}

const char* levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "critical";
    case QtFatalMsg: return "fatal";
    }
    return "info";
}

void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const std::string line = Log::formatLine(type, context.category, text);
    const bool written = file && file->writeLine(line);
    const bool own = ownCategory(context.category);
    if (own && (mirror || !written)) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    } else if (!own && previous) {
        previous(type, context, text);
    }
}

} // namespace

std::string Log::defaultPath()
{
    return AppPaths::stateFolder() + "nimbra.log";
}

bool Log::install(const std::string& path, long long rotationBytes)
{
    auto opened = std::make_unique<LogFile>(path, rotationBytes);
    const bool ok = opened->open();
    if (!ok)
        std::fprintf(stderr, "nimbra: no log file: %s\n", opened->error().c_str());
    file = ok ? std::move(opened) : nullptr;
    QtMessageHandler before = qInstallMessageHandler(handle);
    if (before != handle)
        previous = before;
    return ok;
}

void Log::uninstall()
{
    qInstallMessageHandler(previous);
    previous = nullptr;
    file.reset();
    mirror = false;
}

void Log::setMirror(bool on)
{
    mirror = on;
}

std::string Log::masked(std::string text)
{
    static const std::string command = "authinfo pass";
    std::string lower(text.size(), ' ');
    std::transform(text.begin(), text.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (std::size_t at = lower.find(command); at != std::string::npos; at = lower.find(command, at + 1)) {
        std::size_t start = at + command.size();
        while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
            ++start;
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != '"')
            ++end;
        if (end > start) {
            text.replace(start, end - start, "****");
            lower.replace(start, end - start, "****");
        }
    }
    return text;
}

std::string Log::formatLine(QtMsgType type, const char* category, const QString& text)
{
    // Masked while the line breaks still end the argument.
    std::string body = masked(text.toStdString());
    std::replace(body.begin(), body.end(), '\n', ' ');
    std::replace(body.begin(), body.end(), '\r', ' ');
    const QByteArray stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
    return stamp.toStdString() + ' ' + levelName(type) + ' ' + (category ? category : "default") + ": " + body;
}

} // namespace nimbra
