#include "app/gallery/ThumbnailCache.h"

#include "app/gallery/PngWriter.h"
#include "platform/Log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace nimbra {
namespace {

const char* const FailureFolder = "fail/nimbra-" NIMBRA_VERSION;

QString flavourFolder(ThumbnailCache::Flavour flavour)
{
    return flavour == ThumbnailCache::Flavour::Large ? QStringLiteral("large") : QStringLiteral("normal");
}

// Creates each missing folder of path (below and including root) as 0700; folders that
// exist keep their mode, as they may be shared with other programs.
bool makePrivateFolders(const QString& path)
{
    const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
    for (qsizetype at = 1; at <= native.size(); ++at) {
        if (at != native.size() && native[at] != '/')
            continue;
        const QByteArray part = native.left(at);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
            qCWarning(logApp, "thumbnail folder %s cannot be made: %s", part.constData(), std::strerror(errno));
            return false;
        }
    }
    return true;
}

bool matches(const QImage& image, const QByteArray& uri, qint64 mtime)
{
    return image.text(QStringLiteral("Thumb::URI")).toUtf8() == uri
        && image.text(QStringLiteral("Thumb::MTime")) == QString::number(mtime);
}

QImage readPng(const QString& file)
{
    if (!QFile::exists(file))
        return {};
    QImageReader reader(file, "png");
    return reader.read();
}

} // namespace

ThumbnailCache::ThumbnailCache(QString root) : root_(QDir::cleanPath(root)) {}

QString ThumbnailCache::defaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/thumbnails");
}

QByteArray ThumbnailCache::uriOf(const QString& path)
{
    return QUrl::fromLocalFile(QDir::cleanPath(path)).toEncoded(QUrl::FullyEncoded);
}

QString ThumbnailCache::nameOf(const QString& path)
{
    return QString::fromLatin1(QCryptographicHash::hash(uriOf(path), QCryptographicHash::Md5).toHex())
        + QStringLiteral(".png");
}

QString ThumbnailCache::thumbnailPath(const QString& path, Flavour flavour) const
{
    return root_ + QLatin1Char('/') + flavourFolder(flavour) + QLatin1Char('/') + nameOf(path);
}

QString ThumbnailCache::failurePath(const QString& path) const
{
    return root_ + QLatin1Char('/') + QLatin1String(FailureFolder) + QLatin1Char('/') + nameOf(path);
}

QImage ThumbnailCache::find(const QString& path, qint64 mtime, Flavour flavour) const
{
    QImage image = readPng(thumbnailPath(path, flavour));
    if (image.isNull() || !matches(image, uriOf(path), mtime))
        return {};
    return image;
}

bool ThumbnailCache::failedBefore(const QString& path, qint64 mtime) const
{
    const QImage record = readPng(failurePath(path));
    return !record.isNull() && matches(record, uriOf(path), mtime);
}

bool ThumbnailCache::store(const QString& path, qint64 mtime, qint64 size, Flavour flavour,
                           const QImage& thumbnail) const
{
    QImage image = thumbnail;
    image.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(uriOf(path)));
    image.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    image.setText(QStringLiteral("Thumb::Size"), QString::number(size));
    image.setText(QStringLiteral("Software"), QStringLiteral("Nimbra File " NIMBRA_VERSION));
    const QString folder = root_ + QLatin1Char('/') + flavourFolder(flavour);
    return write(folder, thumbnailPath(path, flavour), image);
}

bool ThumbnailCache::storeFailure(const QString& path, qint64 mtime) const
{
    QImage record(1, 1, QImage::Format_ARGB32);
    record.fill(Qt::transparent);
    record.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(uriOf(path)));
    record.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    return write(root_ + QLatin1Char('/') + QLatin1String(FailureFolder), failurePath(path), record);
}

void ThumbnailCache::forget(const QString& path) const
{
    for (const QString& file : {thumbnailPath(path, Flavour::Normal), thumbnailPath(path, Flavour::Large),
                                failurePath(path)})
        QFile::remove(file);
}

bool ThumbnailCache::write(const QString& folder, const QString& target, const QImage& image) const
{
    if (!makePrivateFolders(folder))
        return false;
    // QTemporaryFile makes its file 0600, in the target's folder so that the rename is atomic.
    QTemporaryFile file(folder + QStringLiteral("/.nimbra-XXXXXX.png"));
    if (!file.open()) {
        qCWarning(logApp).noquote() << "thumbnail" << target << "cannot be written:" << file.errorString();
        return false;
    }
    QString error;
    if (!PngWriter::write(file, image, error) || !file.flush()) {
        qCWarning(logApp).noquote() << "thumbnail" << target << "cannot be written:"
                                    << (error.isEmpty() ? file.errorString() : error);
        return false;
    }
    file.close();
    if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
        qCWarning(logApp).noquote() << "thumbnail" << target << "cannot be renamed into place:" << std::strerror(errno);
        return false;
    }
    file.setAutoRemove(false);
    return true;
}

} // namespace nimbra
