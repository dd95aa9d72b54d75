// The gallery window on the offscreen platform: which thumbnails it asks for, a damaged
// picture, Delete, the saver's announcements and what the folder scan leaves out.
#include "app/gallery/GalleryWindow.h"
#include "download/ContentStore.h"
#include "tests/app/RecordingDialogs.h"
#include "tests/app/gallery/GalleryFiles.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestEnvironment.h"

#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QComboBox>
#include <QSlider>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace nimbra {
namespace {

using test::GalleryFiles;
using test::RecordingDialogs;
using test::TestEnvironment;
using test::waitUntil;

constexpr long long Base = 1700000000;

// count pictures named 000.jpg, 001.jpg, ..., the later ones newer.
std::string pictureFolder(const std::string& name, int count)
{
    const std::string folder = TestEnvironment::makeFolder(name);
    for (int i = 0; i < count; ++i) {
        char file[16];
        std::snprintf(file, sizeof file, "%03d.jpg", i);
        GalleryFiles::jpeg(folder + file, 96, 72, Base + i);
    }
    return folder;
}

struct Gallery {
    RecordingDialogs dialogs;
    GalleryWindow window{dialogs, ThumbnailCache(GalleryFiles::q(TestEnvironment::root() + "thumbnails"))};
    QStringList started;

    explicit Gallery(const std::string& folder, QSize size = QSize(600, 420))
    {
        QObject::connect(&window.loader(), &ThumbnailLoader::started, [this](const QString& path) { started << path; });
        window.sizeSlider()->setValue(64);
        window.resize(size);
        window.showFolder(GalleryFiles::q(folder));
        settle();
    }

    void settle()
    {
        EXPECT_TRUE(waitUntil([this] { return !window.scan().running(); }, 10000));
        EXPECT_TRUE(waitUntil([this] {
            QCoreApplication::processEvents();
            return window.loader().idle();
        }, 10000));
    }

    int rowOf(const QString& path) { return window.model().rowOf(path); }
};

QSet<int> rowsOf(Gallery& gallery, const QStringList& paths)
{
    QSet<int> rows;
    for (const QString& path : paths)
        rows.insert(gallery.rowOf(path));
    return rows;
}

TEST(GalleryWindow, ThumbnailsAreMadeForTheRowsInViewAndOneScreenAhead)
{
    Gallery gallery(pictureFolder("many", 400));
    GalleryWindow& window = gallery.window;
    ASSERT_EQ(window.model().rowCount(), 400);
    const auto [first, last] = window.rowsInView();
    ASSERT_EQ(first, 0);
    ASSERT_GT(last, 4);
    const int ahead = last + (last - first + 1);
    ASSERT_LT(ahead, 200);

    // What was asked for is exactly what is seen and the screen below it.
    QSet<int> expected;
    for (int row = first; row <= ahead; ++row)
        expected.insert(row);
    EXPECT_EQ(rowsOf(gallery, gallery.started), expected);
    const QRect viewport = window.view()->viewport()->rect();
    for (int row = first; row <= last; ++row)
        EXPECT_TRUE(window.view()->visualRect(window.model().index(row)).intersects(viewport)) << row;
    EXPECT_FALSE(window.view()->visualRect(window.model().index(last + 1)).intersects(viewport));
    for (int row = first; row <= ahead; ++row)
        EXPECT_TRUE(window.model().hasThumbnail(row)) << row;
    EXPECT_FALSE(window.model().hasThumbnail(ahead + 1));

    // Scrolled to the end: only the rows seen there are made, none of those passed over.
    gallery.started.clear();
    window.view()->verticalScrollBar()->setValue(window.view()->verticalScrollBar()->maximum());
    gallery.settle();
    const auto [bottomFirst, bottomLast] = window.rowsInView();
    EXPECT_EQ(bottomLast, 399);
    ASSERT_FALSE(gallery.started.isEmpty());
    for (const int row : rowsOf(gallery, gallery.started)) {
        EXPECT_GE(row, bottomFirst);
        EXPECT_TRUE(window.view()->visualRect(window.model().index(row)).intersects(viewport)) << row;
    }
    EXPECT_FALSE(window.model().hasThumbnail(250));
}

TEST(GalleryWindow, ThumbnailsAndPlaceholdersAreOpaqueSquaresOnTheViewsBackground)
{
    // Opaque squares are copied to the screen rather than blended, which keeps each repaint
    // short; around a picture that is not square the view's own background shows.
    Gallery gallery(pictureFolder("opaque", 400));
    GalleryWindow& window = gallery.window;
    const QColor base = window.view()->palette().color(QPalette::Base);
    const int side = window.model().iconSide();
    for (const int row : {0, 399}) {
        SCOPED_TRACE(row);
        const QPixmap shown = window.model().data(window.model().index(row), Qt::DecorationRole).value<QPixmap>();
        ASSERT_EQ(shown.size(), QSize(side, side));
        EXPECT_FALSE(shown.hasAlphaChannel());
        EXPECT_EQ(shown.toImage().pixelColor(side / 2, 0), base);
    }
    ASSERT_TRUE(window.model().hasThumbnail(0));
    ASSERT_FALSE(window.model().hasThumbnail(399));
    // The 96 x 72 picture fills the square's width, and its middle is the picture's.
    const QImage thumbnail = window.model().data(window.model().index(0), Qt::DecorationRole).value<QPixmap>().toImage();
    EXPECT_NE(thumbnail.pixelColor(0, side / 2), base);
}

TEST(GalleryWindow, RequestsForRowsScrolledAwayAreDropped)
{
    Gallery gallery(pictureFolder("scrolled", 400));
    GalleryWindow& window = gallery.window;
    window.sizeSlider()->setValue(96);  // the thumbnails made go: the top is wanted afresh
    std::vector<ThumbnailLoader::Request> top;
    for (int row = 0; row < 60; ++row)
        top.push_back({window.model().entry(row).path, window.model().entry(row).mtime, 1});
    gallery.started.clear();
    window.loader().want(top);
    window.rowsInView();  // lays the grid out at the new size
    window.view()->verticalScrollBar()->setValue(window.view()->verticalScrollBar()->maximum());
    gallery.settle();
    const auto [bottomFirst, bottomLast] = window.rowsInView();
    ASSERT_EQ(bottomLast, 399);
    int topRowsMade = 0;
    for (const int row : rowsOf(gallery, gallery.started))
        topRowsMade += row < 60;
    EXPECT_LE(topRowsMade, 2);  // at most one per worker had started
    EXPECT_TRUE(window.model().hasThumbnail(399));
}

TEST(GalleryWindow, ADamagedPictureShowsAPlaceholderAndTheGridGoesOn)
{
    const std::string folder = pictureFolder("damaged", 6);
    GalleryFiles::damaged(folder + "broken.jpg");
    GalleryFiles::setMtime(folder + "broken.jpg", Base + 3);
    Gallery gallery(folder);
    GalleryModel& model = gallery.window.model();
    ASSERT_EQ(model.rowCount(), 7);
    const int broken = gallery.rowOf(GalleryFiles::q(folder + "broken.jpg"));
    ASSERT_GE(broken, 0);
    EXPECT_TRUE(model.hasThumbnail(broken));
    EXPECT_EQ(model.data(model.index(broken)).toString(), "broken.jpg");
    const QPixmap placeholder = model.data(model.index(broken), Qt::DecorationRole).value<QPixmap>();
    EXPECT_EQ(placeholder.size(), QSize(64, 64));
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_TRUE(model.hasThumbnail(row)) << row;
        if (row != broken) {
            EXPECT_NE(model.data(model.index(row), Qt::DecorationRole).value<QPixmap>().toImage(),
                      placeholder.toImage()) << row;
        }
    }
}

TEST(GalleryWindow, DeleteRemovesTheSelectedPicturesAfterOneQuestion)
{
    const std::string folder = pictureFolder("delete", 6);
    Gallery gallery(folder);
    GalleryWindow& window = gallery.window;
    QItemSelectionModel* selection = window.view()->selectionModel();
    const QString second = window.model().entry(1).path;
    const QString fourth = window.model().entry(3).path;
    selection->select(window.model().index(1), QItemSelectionModel::Select);
    selection->select(window.model().index(3), QItemSelectionModel::Select);

    // No: nothing goes.
    QTest::keyClick(window.view(), Qt::Key_Delete);
    ASSERT_EQ(gallery.dialogs.questions, (std::vector<std::string>{"Delete the 2 selected pictures?"}));
    EXPECT_EQ(window.model().rowCount(), 6);
    EXPECT_TRUE(GalleryFiles::exists(second.toStdString()));

    gallery.dialogs.answers.push_back(true);
    QTest::keyClick(window.view(), Qt::Key_Delete);
    EXPECT_EQ(gallery.dialogs.questions.size(), 2u);
    EXPECT_FALSE(GalleryFiles::exists(second.toStdString()));
    EXPECT_FALSE(GalleryFiles::exists(fourth.toStdString()));
    int left = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder))
        left += file.is_regular_file();
    EXPECT_EQ(left, 4);
    EXPECT_EQ(window.model().rowCount(), 4);
    EXPECT_EQ(window.model().rowOf(second), -1);
    EXPECT_TRUE(gallery.dialogs.messages.empty());
}

TEST(GalleryWindow, PicturesTheSaverAnnouncesAppearWithoutAnotherListing)
{
    const std::string folder = pictureFolder("saved", 3);
    Gallery gallery(folder);
    GalleryWindow& window = gallery.window;
    ASSERT_EQ(window.model().rowCount(), 3);

    GalleryFiles::jpeg(folder + "alt.binaries.boats/new.jpg", 96, 72, Base + 100);
    GalleryFiles::jpeg(folder + "unannounced.jpg", 96, 72, Base + 50);
    window.addSavedFile(GalleryFiles::q(folder + "alt.binaries.boats/new.jpg"));
    window.addSavedFile(GalleryFiles::q(folder + "alt.binaries.boats/new.jpg"));  // twice: one row
    window.addSavedFile(GalleryFiles::q(folder + "notes.txt"));
    GalleryFiles::jpeg(TestEnvironment::root() + "elsewhere.jpg", 96, 72);
    window.addSavedFile(GalleryFiles::q(TestEnvironment::root() + "elsewhere.jpg"));
    EXPECT_FALSE(window.scan().running());

    ASSERT_EQ(window.model().rowCount(), 4);
    EXPECT_EQ(window.model().entry(0).path, GalleryFiles::q(folder + "alt.binaries.boats/new.jpg"));
    EXPECT_EQ(window.model().entry(0).group, "alt.binaries.boats");
    EXPECT_EQ(gallery.rowOf(GalleryFiles::q(folder + "unannounced.jpg")), -1);
    gallery.settle();
    EXPECT_TRUE(window.model().hasThumbnail(0));
}

TEST(GalleryWindow, TheScanTakesPicturesOfSubFoldersAndLeavesLinksHiddenAndOtherFiles)
{
    const std::string folder = pictureFolder("scan", 2);
    const std::string outside = pictureFolder("outside", 2);
    GalleryFiles::jpeg(folder + "alt.binaries.pictures/deep/x.PNG.jpg", 96, 72);
    GalleryFiles::jpeg(folder + ".nimbra-123.part.jpg", 96, 72);
    GalleryFiles::jpeg(folder + ".hidden folder/inside.jpg", 96, 72);
    std::filesystem::create_directories(folder + "empty folder.jpg");
    ::mkfifo((folder + "pipe.jpg").c_str(), 0600);
    GalleryFiles::jpeg(folder + "a.txt", 96, 72);
    std::filesystem::create_symlink(outside, folder + "linked folder");
    std::filesystem::create_symlink(outside + "000.jpg", folder + "linked.jpg");
    Gallery gallery(folder);
    QStringList paths;
    for (int row = 0; row < gallery.window.model().rowCount(); ++row)
        paths << gallery.window.model().entry(row).path.mid(int(folder.size()));
    paths.sort();
    EXPECT_EQ(paths, (QStringList{"000.jpg", "001.jpg", "alt.binaries.pictures/deep/x.PNG.jpg"}));
    EXPECT_EQ(gallery.window.model().entry(gallery.rowOf(GalleryFiles::q(folder + "alt.binaries.pictures/deep/x.PNG.jpg"))).group,
              "alt.binaries.pictures/deep");
}

} // namespace
} // namespace nimbra

namespace nimbra {
namespace {

// A picture of 12 × 10 grey blocks from seed, at width × height.
QImage blocks(unsigned seed, int width, int height)
{
    QImage small(12, 10, QImage::Format_RGB32);
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x) {
            seed = seed * 1103515245u + 12345u;
            const int grey = static_cast<int>((seed >> 16) % 256);
            small.setPixel(x, y, qRgb(grey, grey, grey));
        }
    return small.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}


// Three pictures, two of them alike: original.png, alt.binaries.x/copy.jpg, unrelated.png.
std::string similarFolder(const std::string& name)
{
    const std::string folder = TestEnvironment::makeFolder(name);
    EXPECT_TRUE(blocks(1, 480, 400).save(GalleryFiles::q(folder + "original.png")));
    std::filesystem::create_directories(folder + "alt.binaries.x");
    EXPECT_TRUE(blocks(1, 480, 400).scaled(240, 200, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .save(GalleryFiles::q(folder + "alt.binaries.x/copy.jpg"), "JPEG", 80));
    EXPECT_TRUE(blocks(99, 480, 400).save(GalleryFiles::q(folder + "unrelated.png")));
    return folder;
}

QStringList shownNames(GalleryWindow& window)
{
    QStringList shown;
    for (int row = 0; row < window.model().rowCount(); ++row)
        shown << window.model().entry(row).name().toString();
    shown.sort();
    return shown;
}

TEST(GalleryWindow, SimilarShowsOnlyPicturesWithANearCopyGroupedTogether)
{
    Gallery gallery(similarFolder("similar"));
    GalleryWindow& window = gallery.window;
    ASSERT_EQ(window.model().rowCount(), 3);

    window.sortBox()->setCurrentIndex(static_cast<int>(GalleryModel::SortKey::Similar));
    ASSERT_TRUE(waitUntil([&] { return !window.similarity().running(); }, 10000));
    EXPECT_EQ(shownNames(window), (QStringList{"copy.jpg", "original.png"}));
    EXPECT_FALSE(window.notSimilarButton()->isEnabled()) << "no store to keep the choice in";

    // Back to the whole folder.
    window.sortBox()->setCurrentIndex(static_cast<int>(GalleryModel::SortKey::Name));
    EXPECT_EQ(window.model().rowCount(), 3);
    EXPECT_EQ(window.model().entry(2).name().toString(), "unrelated.png");
}

// The store gives the hashes it holds and keeps those the gallery makes for files it knows;
// "Not similar" is written to it and holds for the next grouping and the next program.
TEST(GalleryWindow, SimilarReadsAndWritesTheContentStore)
{
    const std::string folder = similarFolder("similar-store");
    const std::string storePath = TestEnvironment::root() + "similar-content-store";
    const auto digestOf = [](const std::string& path) { return ContentHasher::ofFile(path).value(); };
    const ContentDigest original = digestOf(folder + "original.png");
    const ContentDigest copy = digestOf(folder + "alt.binaries.x/copy.jpg");
    ContentStore store(storePath);
    ContentStore::Entry saved;  // as the saver enters a file it saved
    saved.digest = original;
    saved.size = std::filesystem::file_size(folder + "original.png");
    saved.path = folder + "original.png";
    ASSERT_TRUE(store.add(saved));

    Gallery gallery(folder);
    GalleryWindow& window = gallery.window;
    window.setContentStore(&store);
    int bitsAsked = 0;
    window.setSimilarDistance([&] { ++bitsAsked; return 5; });
    window.sortBox()->setCurrentIndex(static_cast<int>(GalleryModel::SortKey::Similar));
    ASSERT_TRUE(waitUntil([&] { return !window.similarity().running(); }, 10000));
    EXPECT_EQ(bitsAsked, 1);
    ASSERT_EQ(shownNames(window), (QStringList{"copy.jpg", "original.png"}));
    ASSERT_TRUE(store.find(original)->differenceHash.has_value()) << "the hash made was not kept";
    EXPECT_FALSE(store.find(copy).has_value()) << "a file the store did not know was entered";

    EXPECT_TRUE(window.notSimilarButton()->isVisible());
    window.view()->selectAll();
    ASSERT_TRUE(window.notSimilarButton()->isEnabled());
    QSignalSpy grouped(&window.similarity(), &GallerySimilarity::grouped);
    window.notSimilarButton()->click();
    ASSERT_TRUE(waitUntil([&] { return grouped.count() == 1; }, 10000));
    EXPECT_EQ(window.model().rowCount(), 0);
    EXPECT_TRUE(store.apart(original, copy));
    EXPECT_FALSE(std::filesystem::exists(storePath)) << "the whole store was written for one click";
    ContentStore reread(storePath);
    reread.load();
    EXPECT_TRUE(reread.apart(original, copy));

    // A hash in the store is taken as it is: one that puts the unrelated picture on the
    // original groups it with both (the pair set apart may still meet through a third).
    const ContentDigest unrelated = digestOf(folder + "unrelated.png");
    ContentStore::Entry other;
    other.digest = unrelated;
    other.size = std::filesystem::file_size(folder + "unrelated.png");
    other.path = folder + "unrelated.png";
    other.differenceHash = store.find(original)->differenceHash;
    ASSERT_TRUE(store.add(other));
    window.sortBox()->setCurrentIndex(static_cast<int>(GalleryModel::SortKey::Name));
    window.sortBox()->setCurrentIndex(static_cast<int>(GalleryModel::SortKey::Similar));
    ASSERT_TRUE(waitUntil([&] { return grouped.count() == 2; }, 10000));
    EXPECT_EQ(shownNames(window), (QStringList{"copy.jpg", "original.png", "unrelated.png"}));
}

} // namespace
} // namespace nimbra
