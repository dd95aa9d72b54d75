#include "tests/e2e/ProgramRun.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <algorithm>

namespace nimbra::test {

ProgramRun ProgramRun::run(const std::vector<std::string>& arguments, int timeoutMs, const Environment& extra)
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
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        result.err = "killed after " + std::to_string(timeoutMs) + " ms\n";
    }
    if (process.exitStatus() == QProcess::NormalExit && result.err.empty())
        result.exitCode = process.exitCode();
    for (const QByteArray& line : process.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            result.out.push_back(line.toStdString());
    result.err += process.readAllStandardError().toStdString();
    return result;
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
