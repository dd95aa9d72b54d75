#pragma once

#include "app/gallery/ThumbnailCache.h"

#include <QImage>
#include <QString>

namespace nimbra {

// Makes one thumbnail: from the cache when it holds a fresh one, else by decoding the
// picture at the thumbnail's size (QImageReader::setScaledSize, so that libjpeg scales while
// it decodes and a 24-megapixel photo costs a fraction of a full decode) and storing the
// result. Touches no widget; runs on worker threads.
class ThumbnailMaker {
public:
    // Pictures claiming more pixels than this are not decoded: a few header bytes can claim
    // 65535 × 65535.
    static constexpr qint64 MaxPixels = 150'000'000;

    struct Result {
        QImage image;          // null when failed
        bool failed = false;   // the picture cannot be read (recorded in the cache)
        bool cached = false;   // taken from the cache
    };

    static Result make(const ThumbnailCache& cache, const QString& path, qint64 mtime, qint64 size,
                       ThumbnailCache::Flavour flavour);
    // The decode alone, without the cache: null when the picture cannot be read.
    static QImage decode(const QString& path, int side);
    // The size a JPEG of size is decoded at for a target-sized thumbnail: the DCT scale (M/8)
    // that covers target, so that the reader does not scale it itself.
    static QSize decodeSize(QSize size, QSize target);

private:
    // Below the JPEG reader's high-quality threshold (50).
    static constexpr int FastQuality = 49;
};

} // namespace nimbra
