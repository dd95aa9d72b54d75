#include "platform/AppPaths.h"

#include "platform/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace nimbra {
namespace {

std::string withSlash(QString folder)
{
    if (!folder.endsWith('/'))
        folder += '/';
    return folder.toStdString();
}

std::string ensured(const QString& base)
{
    const std::string folder = withSlash(base + "/nimbra");
    PrivateFiles::ensureOwnFolder(folder);
    return folder;
}

} // namespace

std::string AppPaths::configFolder()
{
    return ensured(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

std::string AppPaths::dataFolder()
{
    return ensured(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

std::string AppPaths::stateFolder()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // A relative value is invalid by the base-directory rules and is ignored.
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        return dataFolder();
    return ensured(state);
}

std::string AppPaths::defaultDownloadFolder()
{
    return withSlash(QDir::homePath() + "/nimbra files");
}

std::string AppPaths::programFolder()
{
    if (!QCoreApplication::instance())
        return withSlash(QDir::currentPath());
    return withSlash(QCoreApplication::applicationDirPath());
}

bool AppPaths::ensureFolder(const std::string& folder)
{
    return QDir().mkpath(QString::fromStdString(folder));
}

} // namespace nimbra
