#include "app/gallery/GallerySimilarity.h"

#include "download/DifferenceHash.h"
#include "download/SimilarityIndex.h"
#include "platform/Log.h"

#include <QFile>
#include <QMutexLocker>

#include <algorithm>

namespace nimbra {

GallerySimilarity::GallerySimilarity(ThumbnailCache cache, QObject* parent)
    : QObject(parent), cache_(std::move(cache))
{
    pool_.setMaxThreadCount(1);
}

GallerySimilarity::~GallerySimilarity()
{
    if (cancel_)
        *cancel_ = true;
    pool_.waitForDone();
}

void GallerySimilarity::start(std::vector<GalleryEntry> entries)
{
    if (cancel_)
        *cancel_ = true;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    running_ = true;
    pool_.start([this, entries = std::move(entries), cancel = cancel_, generation = ++generation_]() mutable {
        std::vector<std::vector<QString>> groups;
        try {
            groups = group(cache_, std::move(entries), known_, lock_, *cancel);
        } catch (const std::exception& error) {
            qCWarning(logApp, "gallery: similar pictures not grouped: %s", error.what());
        }
        QMetaObject::invokeMethod(this, [this, generation, groups = std::move(groups)] {
            if (generation != generation_)
                return;
            running_ = false;
            emit grouped(groups);
        }, Qt::QueuedConnection);
    });
}

std::vector<std::vector<QString>> GallerySimilarity::group(const ThumbnailCache& cache, std::vector<GalleryEntry> entries,
                                                           QHash<QString, Known>& known, QMutex& lock,
                                                           const std::atomic<bool>& cancel)
{
    std::sort(entries.begin(), entries.end(), [](const GalleryEntry& a, const GalleryEntry& b) {
        return a.mtime != b.mtime ? a.mtime > b.mtime : a.path < b.path;
    });
    std::vector<std::uint64_t> hashes;
    std::vector<QString> paths;
    for (const GalleryEntry& entry : entries) {
        if (cancel)
            return {};
        Known item;
        {
            const QMutexLocker locked(&lock);
            item = known.value(entry.path);
        }
        if (!item.valid || item.mtime != entry.mtime) {
            // The thumbnail the gallery made anyway is decode enough for nine by eight pixels.
            QImage small = cache.find(entry.path, entry.mtime, ThumbnailCache::Flavour::Normal);
            if (small.isNull())
                small = cache.find(entry.path, entry.mtime, ThumbnailCache::Flavour::Large);
            const auto hash = small.isNull() ? DifferenceHash::ofFile(QFile::encodeName(entry.path).toStdString())
                                             : DifferenceHash::of(small);
            item = Known{entry.mtime, hash.value_or(0), hash.has_value()};
            const QMutexLocker locked(&lock);
            known.insert(entry.path, item);
        }
        if (item.valid) {
            hashes.push_back(item.hash);
            paths.push_back(entry.path);
        }
    }
    const SimilarityIndex index(std::move(hashes), Distance);
    std::vector<std::vector<QString>> groups;
    for (const auto& ids : index.groups()) {
        std::vector<QString>& group = groups.emplace_back();
        for (const std::size_t id : ids)
            group.push_back(paths[id]);
    }
    qCInfo(logApp, "gallery: %zu groups of similar pictures among %zu", groups.size(), paths.size());
    return groups;
}

} // namespace nimbra
