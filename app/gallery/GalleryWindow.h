#pragma once

#include "app/gallery/GalleryFolderScan.h"
#include "app/gallery/GalleryModel.h"
#include "app/gallery/GallerySimilarity.h"
#include "app/gallery/ThumbnailLoader.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QListView;
class QPushButton;
class QSlider;

namespace nimbra {

class ContentStore;
class Dialogs;

// The gallery: a resizable window with a grid of thumbnails of every picture in the download
// folder and its group sub-folders, newest first, with a sort choice and a size slider.
// Thumbnails are made on worker threads, only for the rows in view and one screen ahead;
// a picture that cannot be read shows a plain placeholder under its name. Enter or a double
// click asks for the picture full screen (openRequested); Delete removes the selected
// pictures after one question. The "Similar" choice shows only pictures that have a near
// copy, group by group, with the hashes the content store holds (those made here are kept
// in it), and its "Not similar" button tells the store that the selected pictures are not
// alike, so they are not grouped again.
//
// dialogs must outlive the window. Everything runs on the window's thread.
class GalleryWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int SmallestSide = 64;
    static constexpr int LargestSide = 256;

    explicit GalleryWindow(Dialogs& dialogs, ThumbnailCache cache = ThumbnailCache(), QWidget* parent = nullptr);
    ~GalleryWindow() override;

    // Lists folder (a new scan when it is another folder than the one shown, or when asked).
    void showFolder(const QString& folder, bool rescan = false);
    const QString& folder() const { return folder_; }
    // A file the saver has just saved under path: shown in its place when it is a picture in
    // the folder shown; the folder is not listed again.
    void addSavedFile(const QString& path);

    // The rows whose thumbnails are wanted now: those in view, then one screen ahead.
    std::vector<int> wantedRows() const;
    // First and last row in view (last < first when none).
    std::pair<int, int> rowsInView() const;

    // Delete: one question, then the selected pictures' files go (and their thumbnails).
    void deleteSelected();
    // The content store the "Similar" view reads and writes; it must outlive the window (or
    // be set to null first). Without one the view works without it.
    void setContentStore(ContentStore* store) { store_ = store; }
    // How many bits two similar pictures' hashes may differ in, asked at each grouping.
    void setSimilarDistance(std::function<int()> bits) { similarBits_ = std::move(bits); }
    // "Not similar": the selected pictures (two or more) are set apart in the store, which is
    // written, and the view is grouped again.
    void markNotSimilar();

    // Enter / double click on the current row.
    void openCurrent();
    // Moves the current row by delta; the new current picture's path, or empty past the ends.
    QString step(int delta);

    GalleryModel& model() { return model_; }
    QListView* view() const { return view_; }
    QSlider* sizeSlider() const { return slider_; }
    QComboBox* sortBox() const { return sort_; }
    QPushButton* notSimilarButton() const { return notSimilar_; }
    ThumbnailLoader& loader() { return loader_; }
    GalleryFolderScan& scan() { return scan_; }
    GallerySimilarity& similarity() { return similarity_; }

signals:
    void openRequested(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setSide(int side);
    void scheduleThumbnails();
    void requestThumbnails();
    void showCount();
    void sortBy(int choice);
    void groupSimilar();
    void showSimilarActions();
    std::vector<int> selectedRows() const;
    int columns() const;

    Dialogs& dialogs_;
    GalleryModel model_;
    GalleryFolderScan scan_;
    ThumbnailLoader loader_;
    GallerySimilarity similarity_;
    ContentStore* store_ = nullptr;
    std::function<int()> similarBits_;
    QString folder_;
    QListView* view_ = nullptr;
    QSlider* slider_ = nullptr;
    QComboBox* sort_ = nullptr;
    QPushButton* notSimilar_ = nullptr;
    QLabel* count_ = nullptr;
    QTimer wantTimer_;
    QElapsedTimer scanClock_;  // since the listing began
    static constexpr qint64 FirstRequestWaitMs = 150;
};

} // namespace nimbra
