#include "app/gallery/ThumbnailMaker.h"

#include "platform/Log.h"

#include <QImageReader>

#include <algorithm>
#include <cmath>

namespace nimbra {

QSize ThumbnailMaker::decodeSize(QSize size, QSize target)
{
    // libjpeg decodes at M/8 of the size for M = 1..8; the smallest M whose result still
    // covers the target. Other formats are simply decoded at the target size.
    const double factor = std::min(double(size.width()) / target.width(), double(size.height()) / target.height());
    const int eighths = std::clamp(int(std::ceil(8 / factor)), 1, 8);
    if (eighths == 8)
        return target;
    return QSize((size.width() * eighths + 7) / 8, (size.height() * eighths + 7) / 8);
}

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
    const bool smaller = size.width() > side || size.height() > side;
    const QSize target = smaller ? size.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)) : size;
    if (smaller) {
        const QSize decoded = reader.format() == "jpeg" ? decodeSize(size, target) : target;
        reader.setScaledSize(decoded);
        // The fast inverse DCT without fancy upsampling: the picture is scaled down smoothly
        // after, which hides the difference.
        if (decoded != target)
            reader.setQuality(FastQuality);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        qCInfo(logApp).noquote() << "no thumbnail of" << path << ":" << reader.errorString();
        return image;
    }
    if (image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
