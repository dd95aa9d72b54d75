#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace nimbra {

class FullScreenWindow;
class GalleryWindow;
class MainWindow;
class RegistryStore;

// Connects the gallery to the main window: the "Graphics" page's "Gallery" button (and
// --gallery) open it on the download folder of the settings, the saver's announcements of
// saved files reach it, and a picture opened in it is shown in the full-screen window, with
// the arrow keys stepping through the grid. Its place, size, thumbnail size and order are
// kept with the settings when it is hidden and when the main window closes.
//
// Create it after the window's session wiring, on the window's thread; the window must
// outlive it. The gallery window is made on first opening.
class GalleryWiring : public QObject {
public:
    explicit GalleryWiring(MainWindow& window);
    ~GalleryWiring() override;

    // Shows the gallery of the download folder in the window's fields.
    void open();
    // Null until the gallery was first opened.
    GalleryWindow* gallery() const { return gallery_.get(); }
    // The gallery's full-screen window; null until the gallery was first opened.
    FullScreenWindow* fullScreen() const { return fullScreen_; }
    // Writes the gallery's settings into store (nothing before its first opening).
    void keepSettings(RegistryStore& store) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setPicture(const QString& path);
    void showFullScreen(const QString& path);
    void showPicture(const QString& path);

    MainWindow& window_;
    std::unique_ptr<GalleryWindow> gallery_;
    FullScreenWindow* fullScreen_ = nullptr;  // a child of the gallery
};

} // namespace nimbra
