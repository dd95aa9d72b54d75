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
};

} // namespace nimbra
