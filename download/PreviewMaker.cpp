#include "download/PreviewMaker.h"

#include "download/FileSizeOf.h"
#include "download/JpegDimensions.h"
#include "download/JpegLoader.h"
#include "download/PreviewGeometry.h"
#include "platform/SafeName.h"

#include <exception>
#include <unistd.h>

namespace nimbra {

bool PreviewMaker::isPictureName(const std::string& name)
{
    const std::size_t at = SafeName::lowerCase(name).find("jpg");
    return at != std::string::npos && at + 3 == name.size();
}

std::optional<PicturePreview> PreviewMaker::make(const std::string& folder, const std::string& name)
{
    PicturePreview preview;
    preview.path = folder + name;
    preview.name = name;
    preview.size = FileSizeOf(preview.path);
    if (preview.size <= 0) {
        remove(preview.path);
        return std::nullopt;
    }
    if (!isPictureName(name))
        return preview;

    preview.isPicture = true;
    int width = 0;
    int height = 0;
    try {
        JpegDimensions(preview.path, width, height);
    } catch (const std::exception&) {
        width = 1;
        height = 1;
    }
    preview.width = width == 0 ? 1 : width;
    preview.height = height == 0 ? 1 : height;
    preview.box = PreviewGeometry::box(preview.width, preview.height);
    preview.image = JpegLoader::loadStretched(preview.path, preview.box.size());
    return preview;
}

PreviewMaker::FullScreenPicture PreviewMaker::fullScreen(const std::string& path, int width, int height,
                                                         QSize screen)
{
    FullScreenPicture picture;
    picture.rect = PreviewGeometry::fullScreen(width, height, screen);
    picture.image = JpegLoader::loadStretched(path, picture.rect.size());
    return picture;
}

bool PreviewMaker::remove(const std::string& path)
{
    return !path.empty() && FileSizeOf(path) >= 0 && ::unlink(path.c_str()) == 0;
}

} // namespace nimbra
