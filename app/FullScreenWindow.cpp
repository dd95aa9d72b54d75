#include "app/FullScreenWindow.h"

#include "download/PreviewGeometry.h"
#include "download/PreviewMaker.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

namespace nimbra {

FullScreenWindow::FullScreenWindow(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("fullsc"));
    setModal(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
}

void FullScreenWindow::setPicture(const std::string& path, int width, int height)
{
    path_ = path;
    width_ = width;
    height_ = height;
    image_ = QImage();
}

void FullScreenWindow::clearPicture()
{
    setPicture(std::string(), 1, 1);
}

QRect FullScreenWindow::pictureRect() const
{
    return PreviewGeometry::fullScreen(width_, height_, size());
}

void FullScreenWindow::loadPicture()
{
    image_ = path_.empty() ? QImage() : PreviewMaker::fullScreen(path_, width_, height_, size()).image;
    if (image_.isNull() && !path_.empty()) {
        // Not a JPEG (the gallery shows PNG and GIF too): whatever Qt's image plugins read.
        QImageReader reader(QString::fromStdString(path_));
        reader.setScaledSize(pictureRect().size());
        image_ = reader.read();
    }
    update();
}

void FullScreenWindow::showModal()
{
    // Borderless and maximised over the whole screen: on this desktop that is the
    // full-screen state, which also covers the panels a maximised window leaves free.
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(screen->geometry());
    setWindowState(Qt::WindowFullScreen);
    loadPicture();
    exec();
}

void FullScreenWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!image_.isNull())
        painter.drawImage(pictureRect(), image_);
}

void FullScreenWindow::mousePressEvent(QMouseEvent*)
{
    accept();
}

void FullScreenWindow::keyPressEvent(QKeyEvent* event)
{
    if (navigate_) {
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            navigate_(-1);
            return;
        case Qt::Key_Right:
        case Qt::Key_Down:
            navigate_(1);
            return;
        default:
            break;
        }
    }
    accept();
}

} // namespace nimbra
