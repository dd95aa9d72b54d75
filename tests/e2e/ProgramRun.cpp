#include "tests/e2e/ProgramRun.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <algorithm>

#include <signal.h>

namespace nimbra::test {

namespace {

ProgramRun runProgram(const std::vector<std::string>& arguments, int timeoutMs,
                      const ProgramRun::Environment& extra, const std::string& awaited, int signal)
{
    QStringList list;
    for (const std::string& argument : arguments)
        list << QString::fromStdString(argument);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const auto& [name, value] : extra)
        environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(NIMBRA_EXECUTABLE), list);
    ProgramRun result;
    if (!process.waitForStarted(10000)) {
        result.err = "the program did not start";
        return result;
    }
    QByteArray output;
    QByteArray errors;
    if (signal != 0) {
        QElapsedTimer waited;
        waited.start();
        const QByteArray text = QByteArray::fromStdString(awaited);
        while (process.state() == QProcess::Running && waited.elapsed() < timeoutMs) {
            process.waitForReadyRead(100);
            output += process.readAllStandardOutput();
            errors += process.readAllStandardError();
            if (output.contains(text) || errors.contains(text)) {
                ::kill(static_cast<pid_t>(process.processId()), signal);
                break;
            }
        }
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        result.err = "killed after " + std::to_string(timeoutMs) + " ms\n";
    }
    if (process.exitStatus() == QProcess::NormalExit && result.err.empty())
        result.exitCode = process.exitCode();
    output += process.readAllStandardOutput();
    for (const QByteArray& line : output.split('\n'))
        if (!line.isEmpty())
            result.out.push_back(line.toStdString());
    result.err += (errors + process.readAllStandardError()).toStdString();
    return result;
}

} // namespace

ProgramRun ProgramRun::run(const std::vector<std::string>& arguments, int timeoutMs, const Environment& extra)
{
    return runProgram(arguments, timeoutMs, extra, {}, 0);
}

ProgramRun ProgramRun::signalledWhenPrinted(const std::vector<std::string>& arguments, const std::string& text,
                                            int signal, int timeoutMs)
{
    return runProgram(arguments, timeoutMs, {}, text, signal);
}

std::vector<std::string> ProgramRun::saved() const
{
    std::vector<std::string> paths;
    for (const std::string& line : out)
        if (line.rfind("Saved ", 0) == 0)
            paths.push_back(line.substr(6));
    return paths;
}

bool ProgramRun::printed(const std::string& line) const
{
    return std::find(out.begin(), out.end(), line) != out.end();
}

} // namespace nimbra::test
