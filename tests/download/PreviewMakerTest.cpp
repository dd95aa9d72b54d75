#include "download/PreviewMaker.h"

#include "download/FileSizeOf.h"
#include "tests/download/JpegSample.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace nimbra;
using nimbra::test::JpegSample;
using nimbra::test::TestEnvironment;

namespace {

std::string folderWith(const std::string& name, const std::string& bytes)
{
    const std::string folder = TestEnvironment::makeFolder("saved");
    std::ofstream(folder + name, std::ios::binary) << bytes;
    return folder;
}

} // namespace

TEST(PreviewMaker, PicturesAreNamesEndingInTheFirstJpg)
{
    for (const char* name : {"a.jpg", "b.JPG", "c.Jpg", "jpg", "xjpg"})
        EXPECT_TRUE(PreviewMaker::isPictureName(name)) << name;
    for (const char* name : {"a.jpeg", "a.jpg.txt", "a.jpg.jpg", "a.png", "", "jp"})
        EXPECT_FALSE(PreviewMaker::isPictureName(name)) << name;
}

TEST(PreviewMaker, APictureGetsItsSizeBoxAndScaledImage)
{
    const std::string bytes = JpegSample::bytes(800, 600);
    const std::string folder = folderWith("photo.JPG", bytes);
    const auto preview = PreviewMaker::make(folder, "photo.JPG");
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->path, folder + "photo.JPG");
    EXPECT_EQ(preview->name, "photo.JPG");
    EXPECT_EQ(preview->size, static_cast<std::int64_t>(bytes.size()));
    EXPECT_TRUE(preview->isPicture);
    EXPECT_EQ(preview->width, 800);
    EXPECT_EQ(preview->height, 600);
    EXPECT_EQ(preview->box, QRect(216, 25, 297, 223));
    EXPECT_EQ(preview->image.size(), QSize(297, 223));
}

TEST(PreviewMaker, ANonJpegNamedJpgShowsOneByOneAndFillsTheBox)
{
    const auto preview = PreviewMaker::make(folderWith("fake.jpg", "GIF89a not a jpeg"), "fake.jpg");
    ASSERT_TRUE(preview);
    EXPECT_TRUE(preview->isPicture);
    EXPECT_EQ(preview->size, 17);
    EXPECT_EQ(preview->width, 1);
    EXPECT_EQ(preview->height, 1);
    EXPECT_EQ(preview->box, QRect(216, 24, 297, 225));
    EXPECT_TRUE(preview->image.isNull());
}

TEST(PreviewMaker, EmptyOrMissingFilesAreDeletedAndNotShown)
{
    const std::string folder = folderWith("empty.jpg", "");
    EXPECT_FALSE(PreviewMaker::make(folder, "empty.jpg"));
    EXPECT_EQ(FileSizeOf(folder + "empty.jpg"), -1);
    EXPECT_FALSE(PreviewMaker::make(folder, "never there.jpg"));
}

TEST(PreviewMaker, FullScreenPictureFitsTheScreen)
{
    const std::string folder = folderWith("wide.jpg", JpegSample::bytes(1200, 800));
    const auto picture = PreviewMaker::fullScreen(folder + "wide.jpg", 1200, 800, {1024, 768});
    EXPECT_EQ(picture.rect, QRect(0, 42, 1024, 683));
    EXPECT_EQ(picture.image.size(), QSize(1024, 683));
    EXPECT_TRUE(PreviewMaker::fullScreen(folder + "gone.jpg", 1200, 800, {1024, 768}).image.isNull());
}

TEST(PreviewMaker, RemoveDeletesOnlyFiles)
{
    const std::string folder = folderWith("pic.jpg", "x");
    EXPECT_TRUE(PreviewMaker::remove(folder + "pic.jpg"));
    EXPECT_EQ(FileSizeOf(folder + "pic.jpg"), -1);
    EXPECT_FALSE(PreviewMaker::remove(folder + "pic.jpg"));
    EXPECT_FALSE(PreviewMaker::remove(folder));
    EXPECT_FALSE(PreviewMaker::remove(""));
}

TEST(FileSizeOf, GivesBytesOrMinusOne)
{
    const std::string folder = folderWith("three", "abc");
    EXPECT_EQ(FileSizeOf(folder + "three"), 3);
    EXPECT_EQ(FileSizeOf(folder + "four"), -1);
    EXPECT_EQ(FileSizeOf(folder), -1);
    EXPECT_EQ(FileSizeOf(""), -1);
}
