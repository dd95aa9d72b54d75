#include "download/DifferenceHash.h"

#include <QImage>
#include <QImageReader>

namespace nimbra {

std::optional<std::uint64_t> DifferenceHash::of(const QImage& image)
{
    if (image.isNull())
        return std::nullopt;
    const QImage grey =
        image.scaled(9, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return std::nullopt;
    std::uint64_t hash = 0;
    for (int y = 0; y < 8; ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < 8; ++x)
            if (row[x] < row[x + 1])
                hash |= std::uint64_t{1} << (y * 8 + x);
    }
    return hash;
}

std::optional<std::uint64_t> DifferenceHash::ofFile(const std::string& path)
{
    QImageReader reader(QString::fromStdString(path));
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > DecodeSide || full.height() > DecodeSide))
        reader.setScaledSize(full.scaled(DecodeSide, DecodeSide, Qt::KeepAspectRatio).expandedTo(QSize(9, 8)));
    return of(reader.read());
}

} // namespace nimbra
