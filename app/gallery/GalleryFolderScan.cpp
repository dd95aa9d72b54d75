#include "app/gallery/GalleryFolderScan.h"

#include "app/gallery/FolderWalk.h"
#include "platform/Log.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>

#include <sys/stat.h>

namespace nimbra {
namespace {

constexpr int BatchEntries = 2000;
constexpr int BatchMs = 40;

// Size and mtime from lstat: a regular file only, never what a link points at.
bool statOf(const QString& path, GalleryEntry& entry)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    entry.mtime = static_cast<qint64>(status.st_mtime);
    entry.size = static_cast<qint64>(status.st_size);
    return true;
}

QString groupOf(const QString& root, const QString& folder)
{
    const qsizetype skip = root.endsWith(QLatin1Char('/')) ? root.size() : root.size() + 1;
    if (folder.size() <= skip)
        return {};
    return folder.mid(skip);
}

} // namespace

GalleryFolderScan::GalleryFolderScan(QObject* parent) : QObject(parent)
{
    pool_.setMaxThreadCount(1);
}

GalleryFolderScan::~GalleryFolderScan()
{
    stop();
    pool_.waitForDone();
}

bool GalleryFolderScan::isPictureName(QStringView name)
{
    if (name.startsWith(QLatin1Char('.')))
        return false;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QStringView suffix = name.mid(dot + 1);
    for (const char* known : {"jpg", "jpeg", "jpe", "png", "gif", "bmp", "webp"})
        if (suffix.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool GalleryFolderScan::entryOf(const QString& root, const QString& path, GalleryEntry& entry)
{
    const QFileInfo info(path);
    if (!isPictureName(info.fileName()) || !statOf(info.absoluteFilePath(), entry))
        return false;
    entry.path = QDir::cleanPath(info.absoluteFilePath());
    entry.group = groupOf(QDir::cleanPath(root), info.absolutePath());
    entry.failed = false;
    return true;
}

void GalleryFolderScan::stop()
{
    if (cancel_)
        *cancel_ = true;
    ++generation_;
    running_ = false;
}

void GalleryFolderScan::start(const QString& folder)
{
    stop();
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    running_ = true;
    const QString root = QDir::cleanPath(folder);
    pool_.start([this, root, cancel = cancel_, generation = generation_] {
        QElapsedTimer sinceBatch;
        sinceBatch.start();
        std::vector<GalleryEntry> batch;
        qint64 count = 0;
        QByteArray lastFolder;
        QString folderPath;
        QString group;  // one shared text per folder
        const auto wanted = [](const char* name) { return isPictureName(QFile::decodeName(name)); };
        FolderWalk::files(QFile::encodeName(root), *cancel, wanted, [&](const QByteArray& folder, const char* name, const struct stat& status) {
            if (folder != lastFolder) {
                lastFolder = folder;
                folderPath = QFile::decodeName(folder);
                group = groupOf(root, folderPath);
            }
            GalleryEntry entry;
            entry.path = folderPath + (folderPath.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + QFile::decodeName(name);
            entry.group = group;
            entry.mtime = static_cast<qint64>(status.st_mtime);
            entry.size = static_cast<qint64>(status.st_size);
            batch.push_back(std::move(entry));
            ++count;
            if (int(batch.size()) >= BatchEntries || sinceBatch.elapsed() >= BatchMs) {
                QMetaObject::invokeMethod(this, [this, generation, entries = std::move(batch)]() mutable {
                    deliver(generation, std::move(entries), false, 0);
                }, Qt::QueuedConnection);
                batch = {};
                sinceBatch.restart();
            }
        });
        QMetaObject::invokeMethod(this, [this, generation, entries = std::move(batch), count]() mutable {
            deliver(generation, std::move(entries), true, count);
        }, Qt::QueuedConnection);
    });
}

void GalleryFolderScan::deliver(quint64 generation, std::vector<GalleryEntry> entries, bool last, qint64 count)
{
    if (generation != generation_)
        return;
    if (!entries.empty())
        emit found(entries);
    if (last) {
        running_ = false;
        qCInfo(logApp, "gallery: %lld pictures found", static_cast<long long>(count));
        emit finished(count);
    }
}

} // namespace nimbra
