#include "app/gallery/ThumbnailMaker.h"

#include "platform/Log.h"

#include <QImageReader>

namespace nimbra {

QImage ThumbnailMaker::decode(const QString& path, int side)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        qCInfo(logApp).noquote() << "no thumbnail of" << path << ":" << reader.errorString();
        return {};
    }
    if (qint64(size.width()) * size.height() > MaxPixels) {
        qCInfo(logApp).noquote() << "no thumbnail of" << path << ": too large," << size.width() << "x"
                                 << size.height();
        return {};
    }
    // Small pictures keep their size; larger ones fit the flavour's square.
    if (size.width() > side || size.height() > side)
        reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull())
        qCInfo(logApp).noquote() << "no thumbnail of" << path << ":" << reader.errorString();
    return image;
}

ThumbnailMaker::Result ThumbnailMaker::make(const ThumbnailCache& cache, const QString& path, qint64 mtime,
                                            qint64 size, ThumbnailCache::Flavour flavour)
{
    Result result;
    result.image = cache.find(path, mtime, flavour);
    if (!result.image.isNull()) {
        result.cached = true;
        return result;
    }
    if (cache.failedBefore(path, mtime)) {
        result.failed = true;
        return result;
    }
    result.image = decode(path, static_cast<int>(flavour));
    if (result.image.isNull()) {
        result.failed = true;
        cache.storeFailure(path, mtime);
        return result;
    }
    cache.store(path, mtime, size, flavour, result.image);
    return result;
}

} // namespace nimbra
