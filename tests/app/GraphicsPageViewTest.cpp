#include "app/GraphicsPage.h"
#include "app/GraphicsPageView.h"
#include "download/PicturePreview.h"
#include "tests/support/TestEnvironment.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace nimbra {
namespace {

using test::TestEnvironment;

struct Page {
    GraphicsPage page;
    Statistics statistics{10, 100, 0, 0};
    int shown = 0;
    GraphicsPageView view{page, statistics, [this] { ++shown; }};
};

TEST(GraphicsPageView, ShowsTheSavedFileAndItsPicture)
{
    Page p;
    p.view.showSavedName("pic.jpg", "/somewhere/pic.jpg");
    PicturePreview preview;
    preview.path = "/somewhere/pic.jpg";
    preview.width = 800;
    preview.height = 600;
    preview.box = QRect(216, 25, 297, 223);
    preview.image = QImage(297, 223, QImage::Format_RGB32);
    preview.image.fill(Qt::red);
    p.view.showPicture(preview);
    p.view.showSavedSize(1536);
    EXPECT_EQ(p.page.nameLabel()->text(), "pic.jpg");
    EXPECT_EQ(p.page.widthLabel()->text(), "800");
    EXPECT_EQ(p.page.heightLabel()->text(), "600");
    EXPECT_EQ(p.page.sizeLabel()->text(), "1536");
    EXPECT_EQ(p.page.image()->geometry(), QRect(216, 25, 297, 223));
    EXPECT_EQ(p.page.image()->pixmap().size(), QSize(297, 223));

    preview.image = QImage();  // a picture that would not load shows no stale one
    p.view.showPicture(preview);
    EXPECT_TRUE(p.page.image()->pixmap().isNull());
}

TEST(GraphicsPageView, CountsIntoTodayAndTotal)
{
    Page p;
    p.view.addToStatistics(1, 2);
    p.view.addToStatistics(0, 3);
    EXPECT_EQ(p.statistics.TotalFiles, 11);
    EXPECT_EQ(p.statistics.TodayFiles, 1);
    EXPECT_EQ(p.statistics.TotalKB, 105);
    EXPECT_EQ(p.statistics.TodayKB, 5);
    EXPECT_EQ(p.shown, 2);
}

TEST(GraphicsPageView, DeleteRemovesTheFileShownAndEmptiesTheLabels)
{
    const std::string folder = TestEnvironment::makeFolder("shown");
    std::ofstream(folder + "pic.jpg") << "bytes";
    std::ofstream(folder + "other.jpg") << "bytes";
    Page p;
    p.view.showSavedName("pic.jpg", folder + "pic.jpg");
    p.view.showSavedSize(5);
    p.page.deleteButton()->click();
    EXPECT_FALSE(std::filesystem::exists(folder + "pic.jpg"));
    EXPECT_TRUE(std::filesystem::exists(folder + "other.jpg"));
    EXPECT_TRUE(p.page.nameLabel()->text().isEmpty());
    EXPECT_TRUE(p.page.sizeLabel()->text().isEmpty());
    EXPECT_TRUE(p.view.shownPath().empty());
    p.page.deleteButton()->click();  // nothing shown: nothing deleted
    EXPECT_TRUE(std::filesystem::exists(folder + "other.jpg"));
}

} // namespace
} // namespace nimbra
