#include "tests/e2e/DemoServer.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace nimbra::test {

DemoServer::DemoServer()
{
    content_.addTo(model_);
}

DemoServer::~DemoServer() = default;

void DemoServer::start(const ServerCertificate* certificate)
{
    ServerResponder answer = model_.responder();
    server_ = std::make_unique<ModelServer>(
        model_.greeting(), [this, answer](const std::string& line, FakeConnection& connection) {
            {
                std::lock_guard lock(mutex_);
                received_.emplace_back(connection.index, line);
            }
            return answer(line, connection);
        },
        0, certificate);
}

std::vector<std::pair<int, std::string>> DemoServer::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

int DemoServer::articleCommands() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(received_.begin(), received_.end(),
                                          [](const auto& entry) { return entry.second.rfind("ARTICLE", 0) == 0; }));
}

std::map<std::string, const DemoFile*> DemoServer::expectedFiles(const std::vector<std::string>& groups) const
{
    std::map<std::string, const DemoFile*> files;
    for (const DemoFile& file : content_.files()) {
        if (file.overDefaultLimit || std::find(groups.begin(), groups.end(), file.group) == groups.end())
            continue;
        files[file.name] = &file;
    }
    return files;
}

std::vector<std::string> DemoServer::binariesGroups() const
{
    std::vector<std::string> groups;
    for (const std::string& group : content_.groups())
        if (group.find("binaries") != std::string::npos)
            groups.push_back(group);
    return groups;
}

std::string DemoServer::sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::map<std::string, std::string> DemoServer::filesBelow(const std::string& folder)
{
    std::map<std::string, std::string> files;
    const QString root = QString::fromStdString(folder);
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files[QDir(root).relativeFilePath(path).toStdString()] = file.readAll().toStdString();
    }
    return files;
}

int DemoServer::kilobytes(const std::vector<const DemoFile*>& files)
{
    int total = 0;
    for (const DemoFile* file : files)
        for (std::size_t added : file->articleBytes)
            total += static_cast<int>(std::lrint(static_cast<double>(added) / 1024.0));
    return total;
}

} // namespace nimbra::test
