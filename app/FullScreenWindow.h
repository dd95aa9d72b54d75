#pragma once

#include <QDialog>
#include <QImage>

#include <functional>
#include <string>

namespace nimbra {

// The full-screen window ("fullsc"): no border, black, covering the screen, with the last
// previewed picture stretched into the rectangle PreviewGeometry::fullScreen gives for it.
// Shown modally by "Full Screen"; a mouse click anywhere or any key closes it. With a
// navigation set (the gallery), the arrow keys step to the previous (Left, Up) and next
// (Right, Down) picture instead.
//
// The picture is decoded when the window is shown, at the scale the screen needs, not when
// it is set: a download run previews many pictures and most are never shown full screen.
class FullScreenWindow : public QDialog {
    Q_OBJECT
public:
    explicit FullScreenWindow(QWidget* parent = nullptr);

    // The picture file and its width and height as the preview found them (its labels).
    void setPicture(const std::string& path, int width, int height);
    void clearPicture();
    // Called with -1 or +1 for the arrow keys; it sets the next picture (setPicture) and
    // loads it (loadPicture), or leaves the window as it is at the ends. Null: arrows close.
    void setNavigation(std::function<void(int step)> navigate) { navigate_ = std::move(navigate); }

    // Covers the screen and returns once a click or a key closed the window. A picture that
    // will not load (deleted meanwhile, broken) leaves the window black.
    void showModal();

    // Decodes the picture set last for the window's current size; showModal() does this.
    void loadPicture();
    const QImage& image() const { return image_; }
    const std::string& path() const { return path_; }
    // Where the picture is drawn at the window's current size.
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::string path_;
    int width_ = 1;
    int height_ = 1;
    QImage image_;
    std::function<void(int step)> navigate_;
};

} // namespace nimbra
