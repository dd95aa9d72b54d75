#pragma once

#include "download/ArticleFiles.h"
#include "download/ArticleSink.h"
#include "download/SaveTarget.h"
#include "download/SplitAssembly.h"
#include "download/YencAssembly.h"
#include "download/YencFileSaver.h"
#include "mime/MimeDecoder.h"

#include <cstdint>
#include <functional>
#include <string>

namespace nimbra {

class SaveSettings;
class SavedFileView;

// The article-done step: decodes each fetched article with its own decoder and saves its
// files into the target folder (the download folder, or the group's folder inside it)
// through ArticleFiles (MIME parts, uuencoded files, split uuencoded files), the yEnc
// assembly and, for MIME message/partial articles, the split assembly, which decodes the
// whole message once its last part is in. Every file is written under a working name and
// named only when whole; then it is shown with its size, previewed when it is a picture, and
// counted, once per file.
//
// A file that cannot be written whole (full disk, unwritable folder) is deleted, not shown
// and not counted, and articleDone() throws std::runtime_error with the reason after the
// files of the article that were whole are shown; the session treats it as a stalled
// connection.
//
// The settings and the view are not owned and must outlive the saver; one thread.
class AttachmentSaver : public ArticleSink {
public:
    // yencLedgerPath and splitLedgerPath: where the unfinished multi-part files are recorded.
    AttachmentSaver(const SaveSettings& settings, SavedFileView& view,
                    const std::string& yencLedgerPath = YencAssembly::defaultLedgerPath(),
                    const std::string& splitLedgerPath = SplitAssembly::defaultLedgerPath());

    void articleDone(const Article& article) override;

    // Called when a file of an article could not be saved, with the reason worded for the
    // user, before articleDone() throws; stopRun is true when the download folder cannot be
    // written at all, so going on would lose every file that follows.
    using FailureReport = std::function<void(const std::string& reason, bool stopRun)>;
    void setFailureReport(FailureReport report) { failureReport_ = std::move(report); }

    MimeDecoder& decoder() { return MimeDecoder1; }

private:
    void decode(MemoryStream& stream, bool inner);
    void keepPartial(MemoryStream& stream);
    void showAndCount(const std::string& folder, const std::string& name);
    void showYencFiles();
    void reportFailure(const std::string& reason);

    const SaveSettings& settings_;
    SavedFileView& view_;
    SaveTarget target_;
    MimeDecoder MimeDecoder1;
    SplitAssembly splitAssembly_;
    ArticleFiles files_{MimeDecoder1, splitAssembly_};
    YencAssembly yencAssembly_;
    YencFileSaver yencSaver_{MimeDecoder1.Yenc(), yencAssembly_};
    FailureReport failureReport_;
};

} // namespace nimbra
