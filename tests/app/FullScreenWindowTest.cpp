#include "app/FullScreenWindow.h"

#include "tests/support/TestEnvironment.h"

// The JPEG sample writer of the download tests, compiled into this binary too.
#include "tests/download/JpegSample.cpp"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using test::JpegSample;
using test::TestEnvironment;

std::string samplePicture(int width, int height)
{
    const std::string path = TestEnvironment::makeFolder("full") + "picture.jpg";
    JpegSample::write(path, width, height);
    return path;
}

bool isBlack(QRgb pixel)
{
    return qRed(pixel) < 8 && qGreen(pixel) < 8 && qBlue(pixel) < 8;
}

TEST(FullScreenWindow, StretchesThePictureIntoItsPlaceOnBlack)
{
    FullScreenWindow window;
    window.resize(1024, 768);
    window.setPicture(samplePicture(800, 600), 800, 600);
    window.loadPicture();
    EXPECT_EQ(window.pictureRect(), QRect(112, 84, 800, 600));
    EXPECT_EQ(window.image().size(), QSize(800, 600));
    const QImage shot = window.grab().toImage();
    EXPECT_TRUE(isBlack(shot.pixel(50, 384)));
    EXPECT_TRUE(isBlack(shot.pixel(512, 40)));
    EXPECT_FALSE(isBlack(shot.pixel(900, 384)));   // the bright right side of the sample
}

TEST(FullScreenWindow, IsBorderlessFullscAndBlackWithoutAPicture)
{
    FullScreenWindow window;
    EXPECT_EQ(window.windowTitle(), "fullsc");
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    window.resize(320, 240);
    window.setPicture(TestEnvironment::root() + "deleted meanwhile.jpg", 800, 600);
    window.loadPicture();
    EXPECT_TRUE(window.image().isNull());
    EXPECT_TRUE(isBlack(window.grab().toImage().pixel(160, 120)));
}

TEST(FullScreenWindow, AnyKeyOrAClickClosesIt)
{
    FullScreenWindow window;
    window.open();
    ASSERT_TRUE(window.isVisible());
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_FALSE(window.isVisible());

    window.open();
    ASSERT_TRUE(window.isVisible());
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(window.isVisible());
}

TEST(FullScreenWindow, ShowModalCoversTheScreenUntilAKey)
{
    FullScreenWindow window;
    window.setPicture(samplePicture(640, 480), 640, 480);
    bool covered = false;
    QTimer::singleShot(50, &window, [&] {
        covered = window.isVisible() && window.size() == QGuiApplication::primaryScreen()->size()
            && !window.image().isNull();
        QTest::keyClick(&window, Qt::Key_A);
    });
    window.showModal();
    EXPECT_TRUE(covered);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace nimbra
