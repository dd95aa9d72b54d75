#include "app/gallery/ThumbnailLoader.h"

#include "app/gallery/ThumbnailMaker.h"
#include "platform/Log.h"

#include <QPainter>

#include <exception>

namespace nimbra {
namespace {

// The thumbnail fitted into the middle of a side × side square of the background colour, so
// that every cell of the grid has its picture centred and its name on the same line.
QImage squared(const QImage& thumbnail, int side, const QColor& background)
{
    if (thumbnail.isNull())
        return thumbnail;
    const QImage fitted = thumbnail.width() > side || thumbnail.height() > side
        ? thumbnail.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : thumbnail;
    QImage square(side, side, QImage::Format_RGB32);
    square.fill(background);
    QPainter painter(&square);
    painter.drawImage((side - fitted.width()) / 2, (side - fitted.height()) / 2, fitted);
    return square;
}

} // namespace

ThumbnailLoader::ThumbnailLoader(ThumbnailCache cache, int threads, QObject* parent)
    : QObject(parent), cache_(std::move(cache)), threads_(threads < 1 ? 1 : threads)
{
    pool_.setMaxThreadCount(threads_);
}

ThumbnailLoader::~ThumbnailLoader()
{
    pending_.clear();
    pool_.waitForDone();
}

void ThumbnailLoader::want(std::vector<Request> requests)
{
    pending_.clear();
    for (Request& request : requests)
        if (!running_.contains(request.path))
            pending_.push_back(std::move(request));
    startMore();
}

void ThumbnailLoader::setSide(int side)
{
    side_ = side;
    pending_.clear();
}

void ThumbnailLoader::startMore()
{
    while (!pending_.empty() && running_.size() < threads_) {
        Request request = std::move(pending_.front());
        pending_.pop_front();
        running_.insert(request.path);
        emit started(request.path);
        pool_.start([this, request, side = side_, background = background_] {
            ThumbnailMaker::Result result;
            try {
                result = ThumbnailMaker::make(cache_, request.path, request.mtime, request.size,
                                              ThumbnailCache::flavourFor(side));
                result.image = squared(result.image, side, background);
            } catch (const std::exception& error) {
                qCWarning(logApp).noquote() << "no thumbnail of" << request.path << ":" << error.what();
                result.failed = true;
            }
            QMetaObject::invokeMethod(
                this,
                [this, path = request.path, side, image = std::move(result.image), failed = result.failed] {
                    finished(path, side, image, failed);
                },
                Qt::QueuedConnection);
        });
    }
}

void ThumbnailLoader::finished(const QString& path, int side, const QImage& image, bool failed)
{
    running_.remove(path);
    // Made for a size no longer shown: the window asks again at the new size.
    if (side == side_)
        emit made(path, image, failed);
    startMore();
}

} // namespace nimbra
