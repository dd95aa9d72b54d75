#pragma once

#include "app/gallery/ThumbnailCache.h"

#include <QImage>
#include <QObject>
#include <QSet>
#include <QColor>
#include <QThreadPool>

#include <deque>
#include <vector>

namespace nimbra {

// Makes thumbnails (ThumbnailMaker) on a small pool of worker threads, only for what the
// window wants now. want() replaces every request that has not started: rows scrolled away
// are dropped, not decoded. At most one request per worker is started at a time, so a
// scroll wastes at most that many decodes. Results come back on the owner's thread through
// made(); QImage only, the owner turns them into pixmaps.
//
// Create and use it on one thread with an event loop; the destructor drops what waits and
// waits for the thumbnails being made.
class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    struct Request {
        QString path;
        qint64 mtime = 0;
        qint64 size = 0;
    };

    explicit ThumbnailLoader(ThumbnailCache cache = ThumbnailCache(), int threads = 2, QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    // The thumbnails wanted, most wanted first; everything asked before and not started is
    // forgotten. A request already being made is not started twice.
    void want(std::vector<Request> requests);
    // Forgets every request that has not started (the view moved; want() follows).
    void dropWaiting() { pending_.clear(); }
    // The side of the square thumbnails are shown in: the cache's flavour that covers it is
    // made, and the result fitted into the middle of a square of that side on
    // the worker. What waits is dropped.
    void setSide(int side);
    int side() const { return side_; }
    // The colour around a thumbnail in its square: the view's background. The squares are
    // opaque, so the view copies them to the screen instead of blending them.
    void setBackground(const QColor& colour) { background_ = colour; }
    const ThumbnailCache& cache() const { return cache_; }
    // Nothing waits and nothing is being made.
    bool idle() const { return pending_.empty() && running_.isEmpty(); }

signals:
    // A request was handed to a worker (for tests and the benchmark).
    void started(const QString& path);
    // The thumbnail of path at the current side; null image with failed when it cannot be
    // made.
    void made(const QString& path, const QImage& image, bool failed);

private:
    void startMore();
    void finished(const QString& path, int side, const QImage& image, bool failed);

    ThumbnailCache cache_;
    int side_ = 256;
    QColor background_ = Qt::white;
    int threads_;
    std::deque<Request> pending_;
    QSet<QString> running_;
    QThreadPool pool_;  // last: destroyed first, so no job outlives the rest
};

} // namespace nimbra
