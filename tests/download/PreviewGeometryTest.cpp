#include "download/PreviewGeometry.h"

#include <gtest/gtest.h>

using nimbra::PreviewGeometry;

namespace {

struct Placement {
    int width, height;       // the picture
    QRect expected;          // where it is drawn
};

void PrintTo(const Placement& p, std::ostream* os)
{
    *os << p.width << " x " << p.height;
}

} // namespace

class PreviewBox : public ::testing::TestWithParam<Placement> {};

TEST_P(PreviewBox, PlacesThePictureOnThePage)
{
    const Placement& p = GetParam();
    EXPECT_EQ(PreviewGeometry::box(p.width, p.height), p.expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PreviewBox, ::testing::Values(
    Placement{100, 80, {314, 96, 100, 80}},         // smaller than the box: own size, centred
    Placement{297, 300, {216, 24, 297, 225}},       // width exactly 297: no rule, full box
    Placement{297, 100, {216, 24, 297, 225}},
    Placement{400, 225, {216, 24, 297, 225}},       // height exactly 225: no rule, full box
    Placement{1000, 50, {216, 24, 297, 225}},       // ratio above 10 fills the box
    Placement{1, 1, {216, 24, 297, 225}},           // what a file without a frame header gives
    Placement{0, 0, {216, 24, 297, 225}},
    Placement{1, 500, {216, 24, 297, 225}},
    Placement{800, 600, {216, 25, 297, 223}},       // wide and tall, ratio 1.33: fitted by width
    Placement{600, 500, {229, 24, 270, 225}},       // ratio 1.2: fitted by height
    Placement{660, 500, {216, 24, 297, 225}},       // ratio exactly 1.32: neither rule
    Placement{600, 100, {216, 111, 297, 50}},       // wide only: fitted by width
    Placement{594, 97, {216, 112, 297, 48}},        // 48.5 rounds to the even 48
    Placement{594, 99, {216, 111, 297, 50}},        // 49.5 rounds to the even 50
    Placement{200, 450, {314, 24, 100, 225}},       // tall only: fitted by height
    Placement{5, 450, {363, 24, 2, 225}},           // 2.5 rounds to 2
    Placement{7, 450, {362, 24, 4, 225}},           // 3.5 rounds to 4
    Placement{2, 60000, {364, 24, 1, 225}}));       // would round to 0 wide: kept at 1

struct ScreenPlacement {
    int width, height;
    QSize screen;
    QRect expected;
};

void PrintTo(const ScreenPlacement& p, std::ostream* os)
{
    *os << p.width << " x " << p.height << " on " << p.screen.width() << " x " << p.screen.height();
}

class FullScreenPlacement : public ::testing::TestWithParam<ScreenPlacement> {};

TEST_P(FullScreenPlacement, PlacesThePictureOnTheScreen)
{
    const ScreenPlacement& p = GetParam();
    EXPECT_EQ(PreviewGeometry::fullScreen(p.width, p.height, p.screen), p.expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FullScreenPlacement, ::testing::Values(
    ScreenPlacement{800, 600, {1024, 768}, {112, 84, 800, 600}},
    ScreenPlacement{2048, 1536, {1024, 768}, {0, 0, 1024, 768}},
    ScreenPlacement{2000, 500, {1024, 768}, {0, 256, 1024, 256}},
    ScreenPlacement{500, 2000, {1024, 768}, {416, 0, 192, 768}},
    ScreenPlacement{1200, 1000, {1024, 768}, {51, 0, 922, 768}},    // 921.6 rounds up
    ScreenPlacement{1024, 100, {1024, 768}, {0, 0, 1024, 768}},     // width exactly the screen's
    ScreenPlacement{3000, 200, {1024, 768}, {0, 0, 1024, 768}},     // ratio 15 fills the screen
    ScreenPlacement{1, 1, {1024, 768}, {0, 0, 1024, 768}},
    // On a wide screen the 1.33 rule would make a 3:2 photo 1280 high; it is shrunk to fit.
    ScreenPlacement{6000, 4000, {1920, 1080}, {150, 0, 1620, 1080}},
    ScreenPlacement{1000, 2000, {1920, 1080}, {690, 0, 540, 1080}},
    // On a portrait screen the height rule would make it 931 wide.
    ScreenPlacement{1000, 1100, {768, 1024}, {0, 89, 768, 845}}));
