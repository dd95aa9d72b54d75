#pragma once

#include "app/FullScreenWindow.h"
#include "app/Statistics.h"
#include "download/SavedFileView.h"

#include <QObject>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace nimbra {

class GraphicsPage;

// The saving step's view of the "Graphics" page: the saved file's labels, the picture in the
// preview box, the statistics counters, and the page's "Full Screen" and "Delete" buttons.
// "Delete" removes the file last shown by its own path, so a changed folder setting or a
// later group never makes it delete another file of the same name.
//
// The page and the counters must outlive the view; showStatistics puts the counters into
// their labels. The full-screen window is the view's own, a child of the page's window.
class GraphicsPageView : public QObject, public SavedFileView {
public:
    GraphicsPageView(GraphicsPage& page, Statistics& statistics, std::function<void()> showStatistics);

    void showSavedName(const std::string& name, const std::string& path) override;
    // Shown only while preview.path is the file last shown by showSavedName, so a preview
    // that comes late never shows over a later file or a deleted one.
    void showPicture(const PicturePreview& preview) override;
    bool showsPictures() const override { return showsPictures_; }
    void showSavedSize(std::int64_t bytes) override;
    void addToStatistics(std::int32_t files, std::int32_t kilobytes) override;
    // Counted, logged by the saver, and handed to the duplicates listener with the count.
    void countDuplicate(const std::string& name, const std::string& firstPath) override;
    // Kept (notice()) and handed to the notice listener.
    void showNotice(const std::string& text) override;
    int duplicates() const { return duplicates_; }
    const std::string& notice() const { return notice_; }
    void setDuplicatesListener(std::function<void(int count)> listener) { duplicatesListener_ = std::move(listener); }
    void setNoticeListener(std::function<void(const std::string&)> listener) { noticeListener_ = std::move(listener); }

    // "Full Screen" and "Delete".
    void showFullScreen();
    void deleteShown();

    // Off for a run nobody watches: no preview is made.
    void setShowsPictures(bool shows) { showsPictures_ = shows; }
    // Called with the path of every file shown as saved, after its name label is set. Each
    // owner has one listener; a null listener removes the owner's.
    void setSavedListener(const void* owner, std::function<void(const std::string& path)> listener);

    FullScreenWindow& fullScreenWindow() { return fullScreen_; }
    const std::string& shownPath() const { return shownPath_; }

private:
    GraphicsPage& page_;
    Statistics& statistics_;
    std::function<void()> showStatistics_;
    FullScreenWindow fullScreen_;
    std::string shownPath_;
    bool showsPictures_ = true;
    std::vector<std::pair<const void*, std::function<void(const std::string& path)>>> savedListeners_;
    int duplicates_ = 0;
    std::string notice_;
    std::function<void(int count)> duplicatesListener_;
    std::function<void(const std::string&)> noticeListener_;
};

} // namespace nimbra
