#include "download/JpegLoader.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include <jpeglib.h>
#include <sys/stat.h>

namespace nimbra {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return; it leaves the
// decode by longjmp back into decodeInto().
struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void leaveDecode(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1);
}

void silentOutput(j_common_ptr) {}
void silentMessage(j_common_ptr, int) {}

constexpr long MaxDecoderMemory = 1024L * 1024 * 1024;
constexpr std::size_t MaxFileBytes = 512u * 1024 * 1024;

// Only plain data lives in this frame and in libjpeg's between setjmp and longjmp, so the
// jump skips no destructor. image belongs to the caller. The whole file is in memory: with
// enough bytes at hand libjpeg-turbo takes its fast Huffman path, about twice as fast as
// feeding it through a small read buffer.
bool decodeInto(const std::string& bytes, QSize fill, QImage& image)
{
    jpeg_decompress_struct info {};
    ErrorTrap trap {};
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = leaveDecode;
    trap.manager.output_message = silentOutput;
    trap.manager.emit_message = silentMessage;
    if (setjmp(trap.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = MaxDecoderMemory;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&info, TRUE);
    const long long pixels = static_cast<long long>(info.image_width) * info.image_height;
    if (pixels <= 0 || pixels > JpegLoader::MaxPixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.scale_num = static_cast<unsigned>(JpegLoader::scaleFor(
        static_cast<int>(info.image_width), static_cast<int>(info.image_height), fill));
    info.scale_denom = 8;
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                   QImage::Format_RGB32);
    if (image.isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            break;
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool readWhole(const std::string& path, std::string& bytes)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    struct stat st {};
    if (!file || ::fstat(::fileno(file.get()), &st) != 0 || st.st_size <= 0
        || static_cast<std::uint64_t>(st.st_size) > MaxFileBytes)
        return false;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    // A file that shrank meanwhile is decoded as far as it goes.
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    return !bytes.empty();
}

} // namespace

int JpegLoader::scaleFor(int width, int height, QSize fill)
{
    // libjpeg makes a side of ceil(side × n / 8) pixels at scale n/8.
    auto covers = [](long long side, int n, int wanted) { return (side * n + 7) / 8 >= wanted; };
    for (int n = 1; n < 8; ++n) {
        if (covers(width, n, fill.width()) && covers(height, n, fill.height()))
            return n;
    }
    return 8;
}

QImage JpegLoader::load(const std::string& path, QSize fill)
{
    std::string bytes;
    if (!readWhole(path, bytes) || bytes.empty())
        return {};
    QImage image;
    if (!decodeInto(bytes, fill, image))
        return {};
    return image;
}

QImage JpegLoader::loadStretched(const std::string& path, QSize size)
{
    if (size.isEmpty())
        return {};
    const QImage image = load(path, size);
    if (image.isNull() || image.size() == size)
        return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace nimbra
