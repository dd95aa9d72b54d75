#pragma once

#include "app/gallery/GalleryEntry.h"
#include "app/gallery/ThumbnailCache.h"
#include "download/ContentStore.h"
#include "download/KnownPictures.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <vector>

namespace nimbra {

// Groups the gallery's pictures by how alike they look (difference hashes within a distance
// in bits, found through a SimilarityIndex), on a worker thread. A picture's hash is the one
// the content store holds for it when it has one (KnownPictures, made on the worker from a
// copy of the store, which is quick to take on the window's thread); else it is made from its
// cached thumbnail when the cache holds one, or from a small decode of the file, remembered
// by path and mtime for the object's life, and handed back (learned) for the store when the
// store knows the file. Pairs the store holds apart are never the link of a group. A new
// start() replaces a grouping that runs; the destructor ends it. Create and use it on one
// thread with an event loop.
class GallerySimilarity : public QObject {
    Q_OBJECT
public:
    static constexpr int Distance = 5;

    explicit GallerySimilarity(ThumbnailCache cache = ThumbnailCache(), QObject* parent = nullptr);
    ~GallerySimilarity() override;

    using Learned = std::vector<std::pair<ContentDigest, quint64>>;

    // store, a copy of the content store the worker reads, may be null (no store); what it
    // knows under folder (a path prefix) is looked at.
    void start(std::vector<GalleryEntry> entries, std::shared_ptr<const ContentStore> store = {},
               std::string folder = {}, int distance = Distance);
    bool running() const { return running_; }

signals:
    // The groups of two or more paths alike, each newest first; pictures without a near copy
    // are in none.
    void grouped(const std::vector<std::vector<QString>>& groups);
    // Hashes made for files the store knows without one; before grouped().
    void learned(const Learned& hashes);

private:
    struct Known {
        qint64 mtime = 0;
        quint64 hash = 0;
        bool valid = false;
    };
    struct Result {
        std::vector<std::vector<QString>> groups;
        Learned learned;
    };
    Result group(std::vector<GalleryEntry> entries, const KnownPictures& store, int distance,
                 const std::atomic<bool>& cancel);
    Known hashOf(const GalleryEntry& entry);

    ThumbnailCache cache_;
    QMutex lock_;                 // guards known_, which the worker fills
    QHash<QString, Known> known_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    quint64 generation_ = 0;
    bool running_ = false;
    QThreadPool pool_;  // last: destroyed first
};

} // namespace nimbra
