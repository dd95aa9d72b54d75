#pragma once

#include "download/PicturePreview.h"
#include "download/SavedFileView.h"

#include <string>
#include <utility>
#include <vector>

namespace nimbra::test {

// A SavedFileView that keeps what the saving step showed and sums the counters.
class RecordingSavedFileView : public SavedFileView {
public:
    void showSavedName(const std::string& name, const std::string& path) override
    {
        names.push_back(name);
        paths.push_back(path);
    }
    void showPicture(const PicturePreview& preview) override { pictures.push_back(preview); }
    bool showsPictures() const override { return picturesWanted; }
    void showSavedSize(std::int64_t bytes) override { sizes.push_back(bytes); }
    void addToStatistics(std::int32_t addedFiles, std::int32_t addedKB) override
    {
        files += addedFiles;
        kilobytes += addedKB;
        ++statisticsShown;
    }

    void countDuplicate(const std::string& name, const std::string& firstPath) override
    {
        duplicates.push_back({name, firstPath});
    }
    void showNotice(const std::string& text) override { notices.push_back(text); }

    std::vector<std::pair<std::string, std::string>> duplicates;  // name, first path
    std::vector<std::string> notices;
    std::vector<std::string> names;
    std::vector<std::string> paths;
    std::vector<PicturePreview> pictures;
    std::vector<std::int64_t> sizes;
    std::int32_t files = 0;
    std::int32_t kilobytes = 0;
    int statisticsShown = 0;
    bool picturesWanted = true;
};

} // namespace nimbra::test
