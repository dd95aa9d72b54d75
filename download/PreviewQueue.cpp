#include "download/PreviewQueue.h"

#include "download/PreviewMaker.h"
#include "platform/Log.h"

#include <exception>
#include <utility>

namespace nimbra {

PreviewQueue::PreviewQueue(Show show) : show_(std::move(show))
{
    pool_.setMaxThreadCount(1);
}

PreviewQueue::~PreviewQueue()
{
    pool_.waitForDone();
}

void PreviewQueue::request(const std::string& folder, const std::string& name)
{
    Job job{folder, name, ++generation_};
    if (running_)
        pending_ = std::move(job);
    else
        start(std::move(job));
}

void PreviewQueue::supersede()
{
    ++generation_;
    pending_.reset();
}

void PreviewQueue::start(Job job)
{
    running_ = true;
    pool_.start([this, job = std::move(job)] {
        std::optional<PicturePreview> preview;
        try {
            preview = PreviewMaker::make(job.folder, job.name);
        } catch (const std::exception& e) {
            qCWarning(logSaving).noquote() << "no preview of" << QString::fromStdString(job.folder + job.name) << ":"
                                           << e.what();
        }
        QMetaObject::invokeMethod(
            this, [this, generation = job.generation, preview = std::move(preview)] { made(generation, preview); },
            Qt::QueuedConnection);
    });
}

void PreviewQueue::made(std::uint64_t generation, const std::optional<PicturePreview>& preview)
{
    running_ = false;
    if (pending_) {
        Job next = std::move(*pending_);
        pending_.reset();
        start(std::move(next));  // newer than this one, which is not shown
        return;
    }
    if (generation == generation_ && preview && show_)
        show_(*preview);
}

} // namespace nimbra
