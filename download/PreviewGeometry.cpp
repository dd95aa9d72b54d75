#include "download/PreviewGeometry.h"

#include "platform/Rounding.h"

#include <algorithm>

namespace nimbra {
namespace {

constexpr double BoxRatio = 1.32;
constexpr double ScreenRatio = 1.33;

// At least 1, so that a very thin picture still shows as a line.
int rounded(double value)
{
    return std::max(1, static_cast<int>(roundHalfEven(value)));
}

// The rules shared by the box and the screen: the area is areaW × areaH, the picture w × h.
QSize fitted(int w, int h, int areaW, int areaH, double ratio)
{
    const double aspect = static_cast<double>(w) / h;
    int width = areaW;
    int height = areaH;
    if (w < areaW && h < areaH) {
        width = w;
        height = h;
    }
    if (w > areaW && (h < areaH || (h > areaH && aspect > ratio)))
        height = rounded(static_cast<double>(areaW) * h / w);
    if ((w < areaW && h > areaH) || (w > areaW && h > areaH && aspect < ratio))
        width = rounded(static_cast<double>(areaH) * w / h);
    if (aspect > 10 || w == 1 || h == 1) {
        width = areaW;
        height = areaH;
    }
    return {width, height};
}

} // namespace

QRect PreviewGeometry::box(int width, int height)
{
    const int w = std::max(width, 1);
    const int h = std::max(height, 1);
    QSize size = fitted(w, h, BoxWidth, BoxHeight, BoxRatio);
    size = size.boundedTo(QSize(BoxWidth, BoxHeight));
    const int top = (BoxHeight - size.height()) / 2 + BoxTop;
    const int left = (BoxWidth - size.width()) / 2 + BoxLeft;
    return {left, top, size.width(), size.height()};
}

QRect PreviewGeometry::fullScreen(int width, int height, QSize screen)
{
    const int w = std::max(width, 1);
    const int h = std::max(height, 1);
    const int sw = std::max(screen.width(), 1);
    const int sh = std::max(screen.height(), 1);
    QSize size = fitted(w, h, sw, sh, ScreenRatio);
    // The 1.33 rule fits a 4:3 screen; on a wider screen it can overshoot the height (and on
    // a taller one the width), which would cut the picture off.
    if (size.height() > sh) {
        size.setWidth(rounded(static_cast<double>(size.width()) * sh / size.height()));
        size.setHeight(sh);
    }
    if (size.width() > sw) {
        size.setHeight(rounded(static_cast<double>(size.height()) * sw / size.width()));
        size.setWidth(sw);
    }
    return {(sw - size.width()) / 2, (sh - size.height()) / 2, size.width(), size.height()};
}

} // namespace nimbra
