#include "download/JpegDimensions.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace nimbra {
namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// One byte, or -1 at end of file or on a read error.
int nextByte(std::FILE* file)
{
    return std::fgetc(file);
}

// A big-endian 16-bit value, or -1 when the file ends inside it.
int nextWord(std::FILE* file)
{
    const int high = nextByte(file);
    const int low = nextByte(file);
    if (high < 0 || low < 0)
        return -1;
    return (high << 8) | low;
}

bool skip(std::FILE* file, long count)
{
    return std::fseek(file, count, SEEK_CUR) == 0;
}

// A start-of-frame marker: C0 to CF, but C4 (Huffman tables), C8 (reserved) and CC
// (arithmetic conditioning) are other segments.
bool startOfFrame(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool withoutLength(int marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

} // namespace

void JpegDimensions(const std::string& path, int& width, int& height)
{
    File file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        throw std::runtime_error("Cannot open file \"" + path + "\"");
    std::FILE* f = file.get();
    if (nextByte(f) != 0xFF || nextByte(f) != 0xD8)
        return;

    int byte = nextByte(f);
    for (int markers = 0; byte == 0xFF && markers < jpeg_dimensions::MaxMarkers; ++markers) {
        const int marker = nextByte(f);
        if (startOfFrame(marker)) {
            if (!skip(f, 3))
                return;
            const int h = nextWord(f);
            const int w = nextWord(f);
            if (h >= 0 && w >= 0) {
                height = h;
                width = w;
            }
            return;
        }
        if (marker == 0xFF || withoutLength(marker)) {
            // A fill byte before a marker, or a marker without a segment: read on.
            byte = 0xFF;
            continue;
        }
        if (marker < 0)
            return;
        const int length = nextWord(f);
        if (length < 2 || !skip(f, length - 2))
            return;
        byte = nextByte(f);
    }
}

} // namespace nimbra
