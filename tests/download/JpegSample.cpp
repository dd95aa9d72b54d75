#include "tests/download/JpegSample.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace nimbra::test {
namespace {

// A smooth colour field with fine stripes and a little pseudo-random grain, row y: detail
// and noise about as a photo has them.
void fillRow(std::vector<unsigned char>& row, int width, int height, int y, int components, unsigned& seed)
{
    for (int x = 0; x < width; ++x) {
        seed = seed * 1103515245u + 12345u;
        const int grain = static_cast<int>((seed >> 16) & 7) - 4;
        const int stripes = ((x / 3 + y / 5) % 8) * 4;
        const int r = (x * 255 / (width > 1 ? width - 1 : 1)) + grain;
        const int g = ((x + y) / 8 % 200) + stripes + grain;
        const int b = (y * 255 / (height > 1 ? height - 1 : 1)) + grain;
        auto clamp = [](int v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); };
        if (components == 1) {
            row[static_cast<std::size_t>(x)] = clamp((r + g + b) / 3);
        } else {
            row[static_cast<std::size_t>(x) * 3] = clamp(r);
            row[static_cast<std::size_t>(x) * 3 + 1] = clamp(g);
            row[static_cast<std::size_t>(x) * 3 + 2] = clamp(b);
        }
    }
}

} // namespace

std::string JpegSample::bytes(int width, int height, Options options)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    const int components = options.grey ? 1 : 3;
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = options.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * components);
    unsigned seed = 1;
    while (info.next_scanline < info.image_height) {
        fillRow(row, width, height, static_cast<int>(info.next_scanline), components, seed);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

void JpegSample::write(const std::string& path, int width, int height, Options options)
{
    const std::string data = bytes(width, height, options);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!file.flush())
        throw std::runtime_error("cannot write " + path);
}

std::string JpegSample::fileWith(const std::string& folder, const std::string& bytes)
{
    static int count = 0;
    const std::string path = folder + "sample" + std::to_string(++count) + ".jpg";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

} // namespace nimbra::test
