#include "tools/bench_gallery/GalleryBenchFolder.h"

#include "tests/download/JpegSample.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utime.h>
#include <vector>

namespace nimbra {
namespace {

constexpr long long Base = 1700000000;
constexpr int LargeOriginals = 8;
constexpr int SmallVariants = 7;
using test::JpegSample;
using test::JpegSampleOptions;

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

std::string GalleryBenchFolder::nameOf(int index)
{
    char name[40];
    std::snprintf(name, sizeof name, "group-%02d/picture-%06d.jpg", index % 20, index);
    return name;
}

std::vector<std::string> GalleryBenchFolder::pictures(const std::string& folder, int count)
{
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i)
        paths.push_back(folder + nameOf(i));
    return paths;
}

std::string GalleryBenchFolder::make(int count)
{
    const std::string folder = "/tmp/nimbra-bench-gallery-" + std::to_string(count) + "/";
    const std::string done = folder + ".complete";
    if (std::filesystem::exists(done))
        return folder;
    std::fprintf(stderr, "making %d pictures in %s (once) ...\n", count, folder.c_str());
    std::filesystem::remove_all(folder);
    for (int group = 0; group < 20; ++group) {
        char name[16];
        std::snprintf(name, sizeof name, "group-%02d", group);
        std::filesystem::create_directories(folder + name);
    }
    const std::string originals = folder + ".originals/";
    std::filesystem::create_directories(originals);
    JpegSampleOptions options;
    options.quality = 90;
    for (int i = 0; i < LargeOriginals; ++i)
        JpegSample::write(originals + std::to_string(i) + ".jpg", 6000 - 8 * i, 4000, options);
    std::vector<std::string> small(SmallVariants);
    for (int i = 0; i < count; ++i) {
        const std::string path = folder + nameOf(i);
        if (isLarge(i)) {
            std::filesystem::copy_file(originals + std::to_string(i / 10 % LargeOriginals) + ".jpg", path);
        } else {
            std::string& bytes = small[static_cast<std::size_t>(i % SmallVariants)];
            if (bytes.empty())
                bytes = JpegSample::bytes(800 - i % SmallVariants, 600, options);
            writeBytes(path, bytes);
        }
        utimbuf times{static_cast<time_t>(Base + i), static_cast<time_t>(Base + i)};
        ::utime(path.c_str(), &times);
    }
    writeBytes(done, "made\n");
    return folder;
}

} // namespace nimbra
