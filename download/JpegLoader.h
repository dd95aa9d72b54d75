#pragma once

#include <QImage>
#include <QSize>

#include <string>

namespace nimbra {

// Loads JPEG pictures for showing them, with libjpeg-turbo. A picture is decoded at the
// smallest DCT scale (1/8, 2/8, ... 8/8) whose result still covers the size it will be shown
// at, so a large photo for a small box costs a fraction of a full decode.
class JpegLoader {
public:
    // Pictures with more pixels than this are not decoded: a few bytes of header can claim
    // 65535 × 65535, and the preview is not worth gigabytes of memory.
    static constexpr long long MaxPixels = 150'000'000;

    // The picture in the file, decoded so that it is at least fill.width() wide and
    // fill.height() high where its own size allows (otherwise at full size). A null image when
    // the file cannot be opened, is not a JPEG libjpeg can read, or is too large. Never throws
    // and never ends the process; libjpeg's warnings are silenced, so a picture cut off in its
    // data comes back with its missing part grey, as libjpeg fills it.
    static QImage load(const std::string& path, QSize fill);

    // load(), then stretched to exactly size (smoothly); null when load() gives null.
    static QImage loadStretched(const std::string& path, QSize size);

    // The scale numerator, of 8, that load() uses for a width × height picture.
    static int scaleFor(int width, int height, QSize fill);
};

} // namespace nimbra
