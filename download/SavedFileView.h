#pragma once

#include <cstdint>
#include <string>

namespace nimbra {

struct PicturePreview;

// What the saving step shows on the "Graphics" page and counts in the window's statistics.
// The window implements it; tests use a recording fake. Called on the window's thread: from
// the article-done step, in this order for each saved file, showSavedName, showSavedSize,
// addToStatistics; later, from the event loop, showPicture for a picture name when
// showsPictures() said yes and no other file was shown meanwhile. None of them may throw.
class SavedFileView {
public:
    virtual ~SavedFileView() = default;

    // The "Name" label shows name. path (folder + name) is the file "Delete" removes
    // (PreviewMaker::remove); remember it rather than rebuilding it from the settings, which
    // may have changed since.
    virtual void showSavedName(const std::string& name, const std::string& path) = 0;
    // The width and height labels, the picture in preview.box (preview.image, already
    // stretched to that size; null when it would not load: show no picture), and the picture
    // for the full-screen window (FullScreenWindow::setPicture(preview.path, width, height)).
    virtual void showPicture(const PicturePreview& preview) = 0;
    // Whether pictures are shown at all; without a window to see them no preview is made.
    virtual bool showsPictures() const { return true; }
    // The "Size,bytes" label.
    virtual void showSavedSize(std::int64_t bytes) = 0;
    // TotalFiles and TodayFiles += files, TotalKB and TodayKB += kilobytes; then the four
    // statistics labels show the counters.
    virtual void addToStatistics(std::int32_t files, std::int32_t kilobytes) = 0;
    // A whole file was not kept because its content was saved before as firstPath; name is
    // the file's name as posted. It is not shown, counted in the statistics or previewed.
    virtual void countDuplicate(const std::string& name, const std::string& firstPath)
    {
        (void)name;
        (void)firstPath;
    }
    // Something the user should know that is no failure of a file (the content store was
    // damaged and set aside), worded for the user.
    virtual void showNotice(const std::string& text) { (void)text; }
};

} // namespace nimbra
