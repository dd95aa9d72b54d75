#include "tools/newsmodel/DemoPicture.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace nimbra::test {
namespace {

struct Colour {
    double r, g, b;
};

Colour mix(Colour a, Colour b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

unsigned char channel(double value)
{
    return static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value);
}

std::vector<unsigned char> scene(int width, int height, unsigned seed, bool noisy)
{
    const double hue = (seed % 7) / 7.0;
    const Colour skyTop{40 + 80 * hue, 70 + 60 * (1 - hue), 160 + 60 * hue};
    const Colour skyLow{250, 200 - 60 * hue, 120 + 40 * hue};
    const Colour hillNear{40 + 30 * hue, 110 - 30 * hue, 50};
    const Colour hillFar{90, 120 + 40 * hue, 110};
    const double sunX = width * (0.2 + 0.6 * ((seed * 37) % 100) / 100.0), sunY = height * 0.35;
    const double sunR = std::min(width, height) * 0.09;
    unsigned noise = seed * 2654435761u + 1;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    std::vector<double> far(static_cast<std::size_t>(width)), near(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const double u = static_cast<double>(x) / width;
        far[x] = 0.62 + 0.06 * std::sin(u * 9 + seed) + 0.03 * std::sin(u * 23 + seed * 3);
        near[x] = 0.76 + 0.08 * std::sin(u * 5 + seed * 2) + 0.02 * std::sin(u * 41);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double v = static_cast<double>(y) / height;
            Colour c = mix(skyTop, skyLow, v);
            const double dx = x - sunX, dy = y - sunY, d = std::sqrt(dx * dx + dy * dy);
            if (d < sunR)
                c = {255, 240, 180};
            else if (d < sunR * 2.5)
                c = mix({255, 230, 170}, c, (d - sunR) / (sunR * 1.5));
            if (v > near[x])
                c = mix(hillNear, {20, 50, 20}, (v - near[x]) / (1 - near[x]));
            else if (v > far[x])
                c = mix(hillFar, hillNear, (v - far[x]) / 0.3);
            if (noisy) {
                noise = noise * 1664525u + 1013904223u;
                const double grain = static_cast<double>((noise >> 24) & 0xFF) - 128;
                c = {c.r + grain, c.g + grain * 0.8, c.b - grain * 0.6};
            }
            unsigned char* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = channel(c.r);
            p[1] = channel(c.g);
            p[2] = channel(c.b);
        }
    }
    return pixels;
}

struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void fail(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1);
}

} // namespace

std::string DemoPicture::jpeg(int width, int height, unsigned seed, bool noisy)
{
    const std::vector<unsigned char> pixels = scene(width, height, seed, noisy);
    jpeg_compress_struct info{};
    ErrorExit error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = fail;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    // No object with a destructor is made between here and the last libjpeg call.
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw std::runtime_error("libjpeg could not write the demo picture");
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&pixels[static_cast<std::size_t>(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

} // namespace nimbra::test
