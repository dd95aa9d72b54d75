#include "app/gallery/PngWriter.h"

#include <QIODevice>

#include <csetjmp>
#include <png.h>
#include <vector>
#include <zlib.h>

namespace nimbra {
namespace {

struct Output {
    QIODevice* device = nullptr;
    const char* failure = nullptr;
};

void writeBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* output = static_cast<Output*>(png_get_io_ptr(png));
    if (output->device->write(reinterpret_cast<const char*>(data), static_cast<qint64>(length)) != static_cast<qint64>(length)) {
        output->failure = "the file cannot be written";
        png_error(png, output->failure);
    }
}

void flushBytes(png_structp) {}

void onError(png_structp png, png_const_charp message)
{
    auto* output = static_cast<Output*>(png_get_error_ptr(png));
    if (!output->failure)
        output->failure = "the PNG encoder failed";
    (void)message;
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Only plain data lives across the jump: everything with a destructor is made by the caller.
bool encode(Output& output, const QImage& pixels, bool alpha, png_text* texts, int textCount)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &output, onError, onWarning);
    if (!png) {
        output.failure = "no memory for the PNG encoder";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        if (!output.failure)
            output.failure = "no memory for the PNG encoder";
        return false;
    }
    png_set_write_fn(png, &output, writeBytes, flushBytes);
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_RLE);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_IHDR(png, info, static_cast<png_uint_32>(pixels.width()), static_cast<png_uint_32>(pixels.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    if (textCount > 0)
        png_set_text(png, info, texts, textCount);
    png_write_info(png, info);
    if (!alpha)
        png_set_filler(png, 0, PNG_FILLER_AFTER);  // the rows hold R G B X
    for (int y = 0; y < pixels.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(pixels.constScanLine(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool PngWriter::write(QIODevice& device, const QImage& image, QString& error)
{
    if (image.isNull()) {
        error = QStringLiteral("the picture is empty");
        return false;
    }
    // Bytes R G B A (or X) in that order whatever the machine's byte order.
    const bool alpha = image.hasAlphaChannel();
    const QImage pixels = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    std::vector<QByteArray> words;
    const QStringList keys = image.textKeys();
    for (const QString& key : keys) {
        words.push_back(key.left(79).toLatin1());
        words.push_back(image.text(key).toLatin1());
    }
    std::vector<png_text> texts(keys.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
        texts[i].key = words[2 * i].data();
        texts[i].text = words[2 * i + 1].data();
        texts[i].text_length = static_cast<png_size_t>(words[2 * i + 1].size());
    }
    Output output;
    output.device = &device;
    if (encode(output, pixels, alpha, texts.data(), static_cast<int>(texts.size())))
        return true;
    error = QString::fromLatin1(output.failure);
    return false;
}

} // namespace nimbra
