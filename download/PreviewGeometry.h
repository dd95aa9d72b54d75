#pragma once

#include <QRect>
#include <QSize>

namespace nimbra {

// Where a picture of width × height pixels is drawn, stretched, in the preview box of the
// "Graphics" page and on the full-screen window. Pure arithmetic; sizes below 1 are taken as 1.
// Rounding is to nearest with halves to even; ratios are floating point.
class PreviewGeometry {
public:
    // The preview box: 297 × 225 pixels with its top-left corner at (216, 24) of the page.
    static constexpr int BoxLeft = 216;
    static constexpr int BoxTop = 24;
    static constexpr int BoxWidth = 297;
    static constexpr int BoxHeight = 225;

    // The picture's rectangle on the page. Small pictures keep their size; larger ones are
    // fitted by the box's width or height depending on which side exceeds it (ratio 1.32);
    // a width or height of 1, a ratio above 10, or a side exactly at the box edge fills the
    // whole box.
    static QRect box(int width, int height);

    // The picture's rectangle on a screen, by the same rules with the ratio 1.33. The result
    // never leaves the screen: where those rules would make it taller or wider than the screen
    // it is shrunk, keeping its proportions, until it fits.
    static QRect fullScreen(int width, int height, QSize screen);
};

} // namespace nimbra
