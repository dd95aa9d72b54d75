#include "app/SplashWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace nimbra {
namespace {

QPixmap picture()
{
    QPixmap pixmap(280, 200);
    QPainter painter(&pixmap);
    QLinearGradient sky(0, 0, 0, 200);
    sky.setColorAt(0, QColor(24, 48, 112));
    sky.setColorAt(1, QColor(120, 170, 230));
    painter.fillRect(pixmap.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawEllipse(QRect(40, 90, 120, 60));
    painter.drawEllipse(QRect(100, 70, 130, 80));
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPointSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(0, 10, 280, 50), Qt::AlignCenter, QStringLiteral("Nimbra File"));
    return pixmap;
}

} // namespace

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      caption_(new QLabel(QString::fromLatin1(LoadingText))),
      stop_(new QPushButton(QStringLiteral("Stop")))
{
    setFixedSize(300, 301);
    auto* image = new QLabel;
    image->setPixmap(picture());
    image->setAlignment(Qt::AlignCenter);
    caption_->setWordWrap(true);
    caption_->setAlignment(Qt::AlignCenter);
    stop_->hide();
    connect(stop_, &QPushButton::clicked, this, &SplashWindow::stopClicked);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(image);
    layout->addWidget(caption_, 1);
    layout->addWidget(stop_, 0, Qt::AlignHCenter);
}

std::string SplashWindow::caption() const
{
    return caption_->text().toStdString();
}

void SplashWindow::setCaption(const std::string& text)
{
    caption_->setText(QString::fromStdString(text));
}

void SplashWindow::showAndPaint()
{
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    show();
    // Loading follows at once and keeps the event loop from running: a paint before the window
    // system has mapped the window is lost, and the splash would stay blank. So wait (briefly)
    // until the window is exposed, then paint and let the paint reach the screen.
    QElapsedTimer waited;
    waited.start();
    while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < MaxMapWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace nimbra
