#pragma once

#include "app/gallery/GalleryEntry.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <vector>

namespace nimbra {

// Lists the pictures of a download folder and its sub-folders on a worker thread and hands
// them over in batches as they are found, so that a folder of 100,000 pictures shows its
// first ones at once. Symbolic links (to files or folders) and hidden files and folders (the
// saver's working files among them) are skipped. A new start() or the destructor ends a scan that
// runs; batches of an ended scan are never delivered.
//
// Create and use it on one thread with an event loop; found() and finished() come from it.
class GalleryFolderScan : public QObject {
    Q_OBJECT
public:
    explicit GalleryFolderScan(QObject* parent = nullptr);
    ~GalleryFolderScan() override;

    void start(const QString& root);
    void stop();
    bool running() const { return running_; }

    // Whether the name is one of the picture kinds the gallery shows (by its extension).
    static bool isPictureName(QStringView name);
    // The entry of one file below root (its group is the folder between root and the name);
    // false when it is no regular picture file (or a link).
    static bool entryOf(const QString& root, const QString& path, GalleryEntry& entry);

signals:
    void found(const std::vector<nimbra::GalleryEntry>& entries);
    void finished(qint64 count);

private:
    void deliver(quint64 generation, std::vector<GalleryEntry> entries, bool last, qint64 count);

    quint64 generation_ = 0;
    std::shared_ptr<std::atomic<bool>> cancel_;
    bool running_ = false;
    QThreadPool pool_;  // last: destroyed first
};

} // namespace nimbra
