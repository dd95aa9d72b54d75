#include "download/JpegLoader.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include <cerrno>
#include <fcntl.h>
#include <jpeglib.h>
#include <unistd.h>

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
// With this many bytes at hand libjpeg-turbo stays on its fast Huffman path nearly always.
constexpr std::size_t ReadBytes = 256 * 1024;

// libjpeg's data source reading an open file through a buffer of the caller's; the manager
// comes first, so libjpeg's pointer to it is a pointer to the whole.
struct FileSource {
    jpeg_source_mgr manager;
    int fd;
    JOCTET* buffer;
    std::size_t capacity;
};

void startSource(j_decompress_ptr) {}
void endSource(j_decompress_ptr) {}

boolean fillSource(j_decompress_ptr info)
{
    FileSource* source = reinterpret_cast<FileSource*>(info->src);
    ssize_t n;
    do {
        n = ::read(source->fd, source->buffer, source->capacity);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        // A file cut short ends as if its end marker came: libjpeg fills the rest grey.
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        n = 2;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = static_cast<std::size_t>(n);
    return TRUE;
}

void skipSource(j_decompress_ptr info, long count)
{
    jpeg_source_mgr& manager = *info->src;
    while (count > 0 && static_cast<std::size_t>(count) > manager.bytes_in_buffer) {
        count -= static_cast<long>(manager.bytes_in_buffer);
        fillSource(info);
    }
    if (count > 0) {
        manager.next_input_byte += count;
        manager.bytes_in_buffer -= static_cast<std::size_t>(count);
    }
}

// Only plain data lives in this frame and in libjpeg's between setjmp and longjmp, so the
// jump skips no destructor. source and image belong to the caller.
bool decodeInto(FileSource& source, QSize fill, QImage& image)
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
    source.manager.init_source = startSource;
    source.manager.fill_input_buffer = fillSource;
    source.manager.skip_input_data = skipSource;
    source.manager.resync_to_restart = jpeg_resync_to_restart;
    source.manager.term_source = endSource;
    source.manager.next_input_byte = nullptr;
    source.manager.bytes_in_buffer = 0;
    info.src = &source.manager;
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::unique_ptr<JOCTET[]> buffer(new JOCTET[ReadBytes]);
    FileSource source{{}, fd, buffer.get(), ReadBytes};
    QImage image;
    const bool decoded = decodeInto(source, fill, image);
    ::close(fd);
    return decoded ? image : QImage();
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
