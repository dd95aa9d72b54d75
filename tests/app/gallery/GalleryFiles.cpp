#include "tests/app/gallery/GalleryFiles.h"

// The JPEG sample writer of the download tests, compiled into this binary too.
#include "tests/download/JpegSample.cpp"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <utime.h>

namespace nimbra::test {

void GalleryFiles::jpeg(const std::string& path, int width, int height, long long mtime)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    JpegSample::write(path, width, height);
    if (mtime != 0)
        setMtime(path, mtime);
}

void GalleryFiles::damaged(const std::string& path)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << "\xff\xd8\xff\xe0 this is no picture at all, only its name is";
}

void GalleryFiles::setMtime(const std::string& path, long long mtime)
{
    utimbuf times{static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
    ::utime(path.c_str(), &times);
}

bool GalleryFiles::exists(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

} // namespace nimbra::test
