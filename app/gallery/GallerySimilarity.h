#pragma once

#include "app/gallery/GalleryEntry.h"
#include "app/gallery/ThumbnailCache.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <vector>

namespace nimbra {

// Groups the gallery's pictures by how alike they look (difference hashes within Distance
// bits, found through a SimilarityIndex), on a worker thread. A picture's hash is made from
// its cached thumbnail when the cache holds one, else from a small decode of the file, and
// remembered by path and mtime for the object's life. A new start() replaces a grouping that
// runs; the destructor ends it. Create and use it on one thread with an event loop.
class GallerySimilarity : public QObject {
    Q_OBJECT
public:
    static constexpr int Distance = 5;

    explicit GallerySimilarity(ThumbnailCache cache = ThumbnailCache(), QObject* parent = nullptr);
    ~GallerySimilarity() override;

    void start(std::vector<GalleryEntry> entries);
    bool running() const { return running_; }

signals:
    // The groups of two or more paths alike, each newest first; pictures without a near copy
    // are in none.
    void grouped(const std::vector<std::vector<QString>>& groups);

private:
    struct Known {
        qint64 mtime = 0;
        quint64 hash = 0;
        bool valid = false;
    };
    static std::vector<std::vector<QString>> group(const ThumbnailCache& cache, std::vector<GalleryEntry> entries,
                                                   QHash<QString, Known>& known, QMutex& lock,
                                                   const std::atomic<bool>& cancel);

    ThumbnailCache cache_;
    QMutex lock_;                 // guards known_, which the worker fills
    QHash<QString, Known> known_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    quint64 generation_ = 0;
    bool running_ = false;
    QThreadPool pool_;  // last: destroyed first
};

} // namespace nimbra
