// The gallery seen from the main window: its button on the "Graphics" page, files the saver
// shows arriving in it, the full-screen view with the arrow keys, and its kept settings.
#include "app/FullScreenWindow.h"
#include "app/GalleryWiring.h"
#include "app/GraphicsPage.h"
#include "app/GraphicsPageView.h"
#include "app/MainWindow.h"
#include "app/SessionWiring.h"
#include "app/gallery/GalleryWindow.h"
#include "tests/app/RecordingDialogs.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestEnvironment.h"

#include <QComboBox>
#include <QListView>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>

namespace nimbra {
namespace {

using test::RecordingDialogs;
using test::TestEnvironment;
using test::waitUntil;

// Three pictures, a.png the newest, then b.png, c.png: PNG, which the "Graphics" page's
// JPEG preview does not read, so the full-screen view shows what Qt reads.
std::string threePictures()
{
    const std::string folder = TestEnvironment::makeFolder("downloads");
    int age = 0;
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(QColor(40 * ++age, 120, 200));
        image.save(QString::fromStdString(folder + name));
        const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(age);
        std::filesystem::last_write_time(folder + name, when);
    }
    return folder;
}

GalleryWindow& openGallery(MainWindow& window, const std::string& folder)
{
    window.setFieldText(Field::Folder, folder);
    window.graphicsPage()->galleryButton()->click();
    GalleryWindow& gallery = *window.galleryWiring().gallery();
    EXPECT_TRUE(waitUntil([&] { return !gallery.scan().running(); }));
    return gallery;
}

TEST(GalleryWiring, TheButtonKeepsThePageLayoutAndOpensTheDownloadFolder)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    GraphicsPage& page = *window.graphicsPage();
    const QRect button = page.galleryButton()->geometry();
    for (QWidget* other : page.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != page.galleryButton() && other->isVisibleTo(&page)) {
            EXPECT_FALSE(other->geometry().intersects(button)) << other->metaObject()->className();
        }
    }
    EXPECT_TRUE(QRect(QPoint(0, 0), page.minimumSize()).contains(button));

    const std::string folder = threePictures();
    GalleryWindow& gallery = openGallery(window, folder);
    EXPECT_TRUE(gallery.isVisible());
    EXPECT_EQ(gallery.folder().toStdString() + "/", folder);
    EXPECT_EQ(gallery.model().rowCount(), 3);
}

TEST(GalleryWiring, AFileShownAsSavedAppearsInTheOpenGallery)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    const std::string folder = threePictures();
    GalleryWindow& gallery = openGallery(window, folder);
    QImage image(50, 50, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    image.save(QString::fromStdString(folder + "fresh.png"));
    window.sessionWiring().pictures().showSavedName("fresh.png", folder + "fresh.png");
    ASSERT_EQ(gallery.model().rowCount(), 4);
    EXPECT_EQ(gallery.model().entry(0).name().toString(), "fresh.png");
}

TEST(GalleryWiring, EnterShowsThePictureFullScreenAndTheArrowsStepThroughTheGrid)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    const std::string folder = threePictures();
    GalleryWindow& gallery = openGallery(window, folder);
    gallery.view()->setCurrentIndex(gallery.model().index(0));
    std::vector<std::string> shown;
    bool covered = false;
    QTimer::singleShot(50, &gallery, [&] {
        FullScreenWindow& full = *window.galleryWiring().fullScreen();
        covered = full.isVisible() && !full.image().isNull();
        shown.push_back(full.path());
        QTest::keyClick(&full, Qt::Key_Right);
        shown.push_back(full.path());
        QTest::keyClick(&full, Qt::Key_Right);
        QTest::keyClick(&full, Qt::Key_Right);  // past the end: stays on the last
        shown.push_back(full.path());
        QTest::keyClick(&full, Qt::Key_Left);
        shown.push_back(full.path());
        covered = covered && !full.image().isNull();
        QTest::keyClick(&full, Qt::Key_Escape);
    });
    QTest::keyClick(gallery.view(), Qt::Key_Return);
    EXPECT_TRUE(covered);
    EXPECT_EQ(shown, (std::vector<std::string>{folder + "a.png", folder + "b.png", folder + "c.png", folder + "b.png"}));
    EXPECT_EQ(gallery.view()->currentIndex().row(), 1);
    EXPECT_FALSE(window.galleryWiring().fullScreen()->isVisible());
}

TEST(GalleryWiring, SizePlaceThumbnailSizeAndOrderAreKept)
{
    const std::string folder = threePictures();
    {
        RecordingDialogs dialogs;
        MainWindow window(&dialogs);
        GalleryWindow& gallery = openGallery(window, folder);
        gallery.resize(700, 500);
        gallery.sizeSlider()->setValue(96);
        gallery.sortBox()->setCurrentIndex(1);
        gallery.hide();
    }
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    GalleryWindow& gallery = openGallery(window, folder);
    EXPECT_EQ(gallery.size(), QSize(700, 500));
    EXPECT_EQ(gallery.sizeSlider()->value(), 96);
    EXPECT_EQ(gallery.model().sortKey(), GalleryModel::SortKey::Name);
}

} // namespace
} // namespace nimbra
