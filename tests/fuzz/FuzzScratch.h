#pragma once

#include "download/SaveSettings.h"
#include "download/SavedFileView.h"

#include <string>

namespace nimbra::fuzz {

// A scratch folder for one fuzz process: the download folder and the ledgers sit two levels
// below its root, so a file written through a name with "../" in it lands where
// checkContained() sees it. Silences the program's log, which would cost more than the
// decoding. Settings and view for an AttachmentSaver: everything saved goes into one folder,
// nothing is shown.
class FuzzScratch : public SaveSettings, public SavedFileView {
public:
    FuzzScratch();
    ~FuzzScratch() override;
    FuzzScratch(const FuzzScratch&) = delete;
    FuzzScratch& operator=(const FuzzScratch&) = delete;

    // Empties the download folder and the ledgers for the next input.
    void clean();
    // Aborts when anything exists in the scratch tree besides the download folder's own
    // contents and the ledgers, or when a symlink was made anywhere in it.
    void checkContained() const;

    const std::string& ledgers() const { return ledgers_; }

    std::string downloadFolderText() const override { return downloads_; }
    bool saveToOneFolder() const override { return true; }
    void showSavedName(const std::string&, const std::string&) override {}
    void showPicture(const PicturePreview&) override {}
    void showSavedSize(std::int64_t) override {}
    void addToStatistics(std::int32_t, std::int32_t) override {}

private:
    std::string root_;
    std::string downloads_;  // ends in "/"
    std::string ledgers_;
};

} // namespace nimbra::fuzz
