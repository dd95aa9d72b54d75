#include "download/JpegLoader.h"

#include "tests/download/JpegSample.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace nimbra;
using nimbra::test::JpegSample;
using nimbra::test::TestEnvironment;

TEST(JpegLoader, ChoosesTheSmallestScaleThatStillFills)
{
    struct Case { int width, height; QSize fill; int scale; };
    for (const Case& c : {Case{6000, 4000, {297, 198}, 1},     // 750 x 500
                          Case{800, 600, {297, 223}, 3},       // 2/8 would be 200 wide
                          Case{2376, 1800, {297, 225}, 1},     // exactly 297 x 225 at 1/8
                          Case{2368, 1792, {297, 225}, 2},     // one pixel short at 1/8
                          Case{100, 80, {100, 80}, 8},
                          Case{1000, 50, {297, 225}, 8},       // cannot fill: full size
                          Case{640, 480, {0, 0}, 1}}) {
        EXPECT_EQ(JpegLoader::scaleFor(c.width, c.height, c.fill), c.scale)
            << c.width << " x " << c.height << " into " << c.fill.width() << " x " << c.fill.height();
    }
}

TEST(JpegLoader, DecodesAtTheScaleAndStretchesToTheBox)
{
    const std::string path = JpegSample::fileWith(TestEnvironment::makeFolder("load"), JpegSample::bytes(640, 480));
    EXPECT_EQ(JpegLoader::load(path, {160, 120}).size(), QSize(160, 120));
    EXPECT_EQ(JpegLoader::load(path, {161, 120}).size(), QSize(240, 180));
    EXPECT_EQ(JpegLoader::load(path, {2000, 2000}).size(), QSize(640, 480));
    const QImage stretched = JpegLoader::loadStretched(path, {297, 50});
    EXPECT_EQ(stretched.size(), QSize(297, 50));
    // The sample runs from dark red on the left to bright red on the right.
    EXPECT_LT(qRed(stretched.pixel(2, 25)), 60);
    EXPECT_GT(qRed(stretched.pixel(294, 25)), 190);
}

TEST(JpegLoader, LoadsGreyAndProgressivePictures)
{
    EXPECT_EQ(JpegLoader::load(JpegSample::fileWith(TestEnvironment::makeFolder("load"), JpegSample::bytes(64, 48, {.grey = true})), {64, 48}).size(),
              QSize(64, 48));
    EXPECT_EQ(JpegLoader::load(JpegSample::fileWith(TestEnvironment::makeFolder("load"), JpegSample::bytes(64, 48, {.progressive = true})), {8, 6}).size(),
              QSize(8, 6));
}

TEST(JpegLoader, APictureCutOffInItsDataStillLoads)
{
    const std::string whole = JpegSample::bytes(320, 240);
    const QImage image = JpegLoader::load(JpegSample::fileWith(TestEnvironment::makeFolder("load"), whole.substr(0, whole.size() / 2)), {320, 240});
    EXPECT_EQ(image.size(), QSize(320, 240));
}

TEST(JpegLoader, BrokenFilesGiveANullImage)
{
    const std::string whole = JpegSample::bytes(320, 240);
    std::string garbage = whole.substr(0, 2);
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 131 + 7) & 0xFF);
    for (const std::string& bytes : {std::string(), std::string("plain text, not a picture"),
                                     whole.substr(0, 20), garbage}) {
        EXPECT_TRUE(JpegLoader::loadStretched(JpegSample::fileWith(TestEnvironment::makeFolder("load"), bytes), {297, 225}).isNull());
    }
    EXPECT_TRUE(JpegLoader::load(TestEnvironment::root() + "missing.jpg", {297, 225}).isNull());
}

TEST(JpegLoader, AHeaderClaimingAHugePictureIsNotDecoded)
{
    std::string bytes = JpegSample::bytes(16, 16);
    const std::size_t frame = bytes.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    bytes.replace(frame + 5, 4, "\xFF\xFF\xFF\xFF"); // 65535 rows of 65535 columns
    EXPECT_TRUE(JpegLoader::load(JpegSample::fileWith(TestEnvironment::makeFolder("load"), bytes), {297, 225}).isNull());
}
