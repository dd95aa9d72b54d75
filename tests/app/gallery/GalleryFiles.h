#pragma once

#include <QString>

#include <string>

namespace nimbra::test {

// Picture files for the gallery tests.
class GalleryFiles {
public:
    // A JPEG of width × height at path (folders made as needed), with the given mtime
    // (seconds since the epoch; 0 leaves it as written).
    static void jpeg(const std::string& path, int width, int height, long long mtime = 0);
    // Bytes no image reader accepts, under a picture's name.
    static void damaged(const std::string& path);
    static void setMtime(const std::string& path, long long mtime);
    static bool exists(const std::string& path);
    static QString q(const std::string& text) { return QString::fromStdString(text); }
};

} // namespace nimbra::test
