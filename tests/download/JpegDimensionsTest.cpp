#include "download/JpegDimensions.h"

#include "tests/download/JpegSample.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

using namespace nimbra;
using nimbra::test::JpegSample;
using nimbra::test::TestEnvironment;

namespace {

std::string hex(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

struct Size {
    int width = -7;   // values the walk must leave alone when it finds no frame header
    int height = -7;
};

Size dimensionsOf(const std::string& bytes)
{
    Size size;
    JpegDimensions(JpegSample::fileWith(TestEnvironment::makeFolder("dims"), bytes), size.width, size.height);
    return size;
}

const std::string Start = hex({0xFF, 0xD8});
// A frame header of 300 rows and 400 columns, after its marker byte.
const std::string Frame = hex({0x00, 0x11, 0x08, 0x01, 0x2C, 0x01, 0x90});

} // namespace

TEST(JpegDimensions, ReadsTheFrameOfARealPicture)
{
    Size size;
    const std::string path = JpegSample::fileWith(TestEnvironment::makeFolder("dims"), JpegSample::bytes(320, 200));
    JpegDimensions(path, size.width, size.height);
    EXPECT_EQ(size.width, 320);
    EXPECT_EQ(size.height, 200);
}

TEST(JpegDimensions, FollowsSegmentsParameterlessMarkersAndFillBytes)
{
    const std::string chain = Start + hex({0xFF, 0xE1, 0x00, 0x04, 0xAA, 0xBB})   // a segment
        + hex({0xFF, 0x01, 0xFF, 0xD3})                                          // no length
        + hex({0xFF, 0xFF, 0xFF, 0xC1}) + Frame;                                 // fill bytes
    const Size size = dimensionsOf(chain);
    EXPECT_EQ(size.width, 400);
    EXPECT_EQ(size.height, 300);
}

TEST(JpegDimensions, EveryStartOfFrameMarkerGivesTheSize)
{
    for (int marker = 0xC0; marker <= 0xCF; ++marker) {
        if (marker == 0xC4 || marker == 0xC8 || marker == 0xCC)
            continue;
        const Size size = dimensionsOf(Start + hex({0xFF, marker}) + Frame);
        EXPECT_EQ(size.width, 400) << std::hex << marker;
        EXPECT_EQ(size.height, 300) << std::hex << marker;
    }
    Size progressive = dimensionsOf(JpegSample::bytes(64, 48, {.progressive = true}));
    EXPECT_EQ(progressive.width, 64);
    EXPECT_EQ(progressive.height, 48);
}

TEST(JpegDimensions, HuffmanArithmeticAndReservedSegmentsAreNoFrame)
{
    // Read as a frame, the segment's own bytes would give another size.
    for (int marker : {0xC4, 0xC8, 0xCC}) {
        const Size size = dimensionsOf(Start + hex({0xFF, marker, 0x00, 0x08, 0x08, 0x00, 0x10, 0x00, 0x20, 0x03})
                                       + hex({0xFF, 0xC2}) + Frame);
        EXPECT_EQ(size.width, 400) << std::hex << marker;
        EXPECT_EQ(size.height, 300) << std::hex << marker;
    }
}

TEST(JpegDimensions, SetsNothingWithoutAStartOrAFrame)
{
    for (const std::string& bytes : {std::string(), std::string("GIF89a"), hex({0xFF}),
                                     hex({0xD8, 0xFF}) + hex({0xFF, 0xC0}) + Frame}) {
        const Size size = dimensionsOf(bytes);
        EXPECT_EQ(size.width, -7);
        EXPECT_EQ(size.height, -7);
    }
}

TEST(JpegDimensions, TruncatedChainsEndTheWalk)
{
    const std::string frame = Start + hex({0xFF, 0xC0}) + Frame;
    for (std::size_t cut = 0; cut < frame.size(); ++cut) {
        const Size size = dimensionsOf(frame.substr(0, cut));
        EXPECT_EQ(size.width, -7) << "cut at " << cut;
        EXPECT_EQ(size.height, -7) << "cut at " << cut;
    }
    // A segment longer than the rest of the file.
    EXPECT_EQ(dimensionsOf(Start + hex({0xFF, 0xE0, 0x7F, 0xFF, 0x01})).width, -7);
}

TEST(JpegDimensions, LengthsThatWouldStepBackEndTheWalk)
{
    for (int length : {0, 1}) {
        const Size size = dimensionsOf(Start + hex({0xFF, 0xE0, 0x00, length, 0xFF, 0xC0}) + Frame);
        EXPECT_EQ(size.width, -7);
    }
}

TEST(JpegDimensions, AnEndlessRunOfMarkersIsCutOff)
{
    std::string run = Start;
    for (int i = 0; i < jpeg_dimensions::MaxMarkers + 10; ++i)
        run += hex({0xFF, 0xD0 + i % 8});
    EXPECT_EQ(dimensionsOf(run + hex({0xFF, 0xC0}) + Frame).width, -7);

    std::string shortRun = Start;
    for (int i = 0; i < 1000; ++i)
        shortRun += hex({0xFF, 0x01});
    EXPECT_EQ(dimensionsOf(shortRun + hex({0xFF, 0xC0}) + Frame).width, 400);
}

TEST(JpegDimensions, AMissingFileThrows)
{
    int width = 0;
    int height = 0;
    EXPECT_THROW(JpegDimensions(TestEnvironment::root() + "no such file.jpg", width, height),
                 std::runtime_error);
}
