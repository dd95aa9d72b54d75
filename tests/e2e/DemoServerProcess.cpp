#include "tests/e2e/DemoServerProcess.h"

#include <QStringList>

namespace nimbra::test {
namespace {

const std::string addressLine = "Nimbra demo news server on 127.0.0.1:";

} // namespace

DemoServerProcess::DemoServerProcess(const std::vector<std::string>& arguments)
{
    QStringList list;
    for (const std::string& argument : arguments)
        list << QString::fromStdString(argument);
    process_.start(QStringLiteral(NIMBRA_DEMO_SERVER), list);
    if (!process_.waitForStarted(5000))
        return;
    // The start lines leave in one write once the server listens.
    while (lines_.empty() && process_.waitForReadyRead(20000)) {
        while (process_.canReadLine())
            lines_.push_back(process_.readLine().trimmed().toStdString());
    }
    if (!lines_.empty() && lines_.front().rfind(addressLine, 0) == 0)
        port_ = static_cast<std::uint16_t>(std::stoul(lines_.front().substr(addressLine.size())));
}

DemoServerProcess::~DemoServerProcess()
{
    terminate();
}

std::string DemoServerProcess::startValue(const std::string& prefix) const
{
    for (const std::string& line : lines_)
        if (line.rfind(prefix, 0) == 0)
            return line.substr(prefix.size());
    return {};
}

std::string DemoServerProcess::errors()
{
    return process_.readAllStandardError().toStdString();
}

int DemoServerProcess::terminate()
{
    if (process_.state() == QProcess::NotRunning)
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

} // namespace nimbra::test
