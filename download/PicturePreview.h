#pragma once

#include <QImage>
#include <QRect>

#include <cstdint>
#include <string>

namespace nimbra {

// What the "Graphics" page shows for one saved file; made by PreviewMaker.
struct PicturePreview {
    std::string path;          // folder + name: the file that "Delete" removes
    std::string name;          // the file name label
    std::int64_t size = 0;     // the size label, in bytes
    bool isPicture = false;    // the name ends in "jpg": the fields below are set
    int width = 1;             // the width label; 1 when the file gives none
    int height = 1;            // the height label; 1 when the file gives none
    QRect box;                 // the picture's rectangle on the page
    QImage image;              // box.size(), stretched; null when the picture would not load
};

} // namespace nimbra
