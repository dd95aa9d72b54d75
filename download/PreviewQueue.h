#pragma once

#include "download/PicturePreview.h"

#include <QObject>
#include <QThreadPool>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace nimbra {

// Makes the previews of saved pictures (PreviewMaker::make) on a worker thread, so that
// decoding a large photo never holds up the thread that owns the queue, and hands each to
// show on that thread, through its event loop. Only the newest request counts: one made
// while a preview is being made replaces any that waits, and a finished preview is dropped
// when a newer request or supersede() came after its own. At most one preview is made at a
// time. show is called only from the owner's event loop and must not throw.
//
// Create and use it on one thread with an event loop; the destructor waits for the preview
// being made and shows nothing more.
class PreviewQueue : public QObject {
public:
    using Show = std::function<void(const PicturePreview&)>;

    explicit PreviewQueue(Show show);
    ~PreviewQueue() override;
    PreviewQueue(const PreviewQueue&) = delete;
    PreviewQueue& operator=(const PreviewQueue&) = delete;

    // The picture name in folder (which ends in "/") is the newest one to show.
    void request(const std::string& folder, const std::string& name);
    // Another file is shown now: nothing asked before is shown any more.
    void supersede();
    // A preview is being made or waits.
    bool busy() const { return running_ || pending_.has_value(); }

private:
    struct Job {
        std::string folder;
        std::string name;
        std::uint64_t generation = 0;
    };

    void start(Job job);
    void made(std::uint64_t generation, const std::optional<PicturePreview>& preview);

    Show show_;
    std::uint64_t generation_ = 0;
    bool running_ = false;
    std::optional<Job> pending_;
    QThreadPool pool_;  // the last member: destroyed first, so no job outlives the rest
};

} // namespace nimbra
