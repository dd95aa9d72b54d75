#pragma once

#include "download/PicturePreview.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <optional>
#include <string>

namespace nimbra {

// Prepares saved files for the "Graphics" page and the full-screen window. Touches no widget,
// so it may run on any thread; a picture is decoded at the scale its box needs (see
// JpegLoader).
class PreviewMaker {
public:
    // The preview of the file name in folder (which ends in "/"). A file of no bytes, or one
    // that cannot be found, is deleted and gives nothing to show. For a picture name the
    // width and height come from the file's frame header (1 × 1 when it gives none or cannot
    // be read), the box from PreviewGeometry, and the image from the file; a picture that
    // will not load leaves image null and the rest of the preview as it is.
    static std::optional<PicturePreview> make(const std::string& folder, const std::string& name);

    // True when the first "jpg" in the lower-cased name ends it ("a.JPG" yes, "a.jpeg" no).
    static bool isPictureName(const std::string& name);

    // The picture for a screen of the given size: placed by PreviewGeometry::fullScreen for
    // a width × height picture (the labels' values), and decoded and stretched to that
    // rectangle. A null image when the picture would not load.
    struct FullScreenPicture {
        QRect rect;
        QImage image;
    };
    static FullScreenPicture fullScreen(const std::string& path, int width, int height, QSize screen);

    // Deletes the previewed file; false when it was not there to delete. Only a file is ever
    // removed, never a folder.
    static bool remove(const std::string& path);
};

} // namespace nimbra
