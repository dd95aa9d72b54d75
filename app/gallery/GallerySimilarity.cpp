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

void GallerySimilarity::start(std::vector<GalleryEntry> entries, std::shared_ptr<const ContentStore> store,
                              std::string folder, int distance)
{
    if (cancel_)
        *cancel_ = true;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    running_ = true;
    pool_.start([this, entries = std::move(entries), store = std::move(store), folder = std::move(folder), distance,
                 cancel = cancel_, generation = ++generation_]() mutable {
        Result result;
        try {
            const KnownPictures known = KnownPictures::of(std::move(store), folder);
            result = group(std::move(entries), known, distance, *cancel);
        } catch (const std::exception& error) {
            qCWarning(logApp, "gallery: similar pictures not grouped: %s", error.what());
        }
        QMetaObject::invokeMethod(this, [this, generation, result = std::move(result)] {
            if (generation != generation_)
                return;
            running_ = false;
            if (!result.learned.empty())
                emit learned(result.learned);
            emit grouped(result.groups);
        }, Qt::QueuedConnection);
    });
}

GallerySimilarity::Known GallerySimilarity::hashOf(const GalleryEntry& entry)
{
    Known item;
    {
        const QMutexLocker locked(&lock_);
        item = known_.value(entry.path);
    }
    if (item.valid && item.mtime == entry.mtime)
        return item;
    // The thumbnail the gallery made anyway is decode enough for nine by eight pixels.
    QImage small = cache_.find(entry.path, entry.mtime, ThumbnailCache::Flavour::Normal);
    if (small.isNull())
        small = cache_.find(entry.path, entry.mtime, ThumbnailCache::Flavour::Large);
    const auto hash = small.isNull() ? DifferenceHash::ofFile(QFile::encodeName(entry.path).toStdString())
                                     : DifferenceHash::of(small);
    item = Known{entry.mtime, hash.value_or(0), hash.has_value()};
    const QMutexLocker locked(&lock_);
    known_.insert(entry.path, item);
    return item;
}

GallerySimilarity::Result GallerySimilarity::group(std::vector<GalleryEntry> entries, const KnownPictures& store,
                                                   int distance, const std::atomic<bool>& cancel)
{
    std::sort(entries.begin(), entries.end(), [](const GalleryEntry& a, const GalleryEntry& b) {
        return a.mtime != b.mtime ? a.mtime > b.mtime : a.path < b.path;
    });
    Result result;
    std::vector<std::uint64_t> hashes;
    std::vector<QString> paths;
    std::vector<std::optional<ContentDigest>> digests;  // those the store gave
    std::size_t fromStore = 0;
    for (const GalleryEntry& entry : entries) {
        if (cancel)
            return {};
        const std::string path = QFile::encodeName(entry.path).toStdString();
        const std::optional<KnownPictures::Picture> stored = store.find(path, static_cast<std::uint64_t>(entry.size));
        std::uint64_t hash = 0;
        if (stored && stored->differenceHash) {
            hash = *stored->differenceHash;
            ++fromStore;
        } else {
            const Known item = hashOf(entry);
            if (!item.valid)
                continue;
            hash = item.hash;
            if (stored)
                result.learned.emplace_back(stored->digest, hash);
        }
        hashes.push_back(hash);
        paths.push_back(entry.path);
        digests.push_back(stored ? std::optional(stored->digest) : std::nullopt);
    }

    // Only a pair within the distance asks whether it was set apart, so the files the store
    // does not know by path are read for their content only then.
    std::vector<bool> read(paths.size(), false);
    const auto digestOf = [&](std::size_t id) -> const std::optional<ContentDigest>& {
        if (!digests[id] && !read[id]) {
            read[id] = true;
            digests[id] = ContentHasher::ofFile(QFile::encodeName(paths[id]).toStdString());
        }
        return digests[id];
    };
    SimilarityIndex::Apart apart;
    if (store.anyApart())
        apart = [&](std::size_t a, std::size_t b) {
            const auto& first = digestOf(a);
            const auto& second = digestOf(b);
            return first && second && store.apart(*first, *second);
        };
    const SimilarityIndex index(std::move(hashes), distance);
    for (const auto& ids : index.groups(apart)) {
        std::vector<QString>& group = result.groups.emplace_back();
        for (const std::size_t id : ids)
            group.push_back(paths[id]);
    }
    qCInfo(logApp, "gallery: %zu groups of similar pictures among %zu within %d bits (%zu hashes from the store)",
           result.groups.size(), paths.size(), distance, fromStore);
    return result;
}

} // namespace nimbra
