#pragma once

#include "download/ArticleFiles.h"
#include "download/ArticleSink.h"
#include "download/ContentCheck.h"
#include "download/ContentStore.h"
#include "download/LedgerWriter.h"
#include "download/PreviewQueue.h"
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
// named only when whole; then it is shown with its size and counted, once per file. A picture
// is previewed when the view shows pictures: made on a worker thread and shown later from
// the event loop, the newest file winning (PreviewQueue).
//
// Whole files go through the content check (ContentCheck, on with the settings' "Skip
// pictures I already have"): a file whose content is in the content store is deleted instead
// of named and reported to the view as a duplicate. The store is read when the saver is made
// (a damaged one is set aside and the view told), written at flush() when it changed and when
// the saver goes; a preview's picture hash is entered in it.
//
// A file that cannot be written whole (full disk, unwritable folder) is deleted, not shown
// and not counted, and articleDone() throws std::runtime_error with the reason after the
// files of the article that were whole are shown; the session treats it as a stalled
// connection.
//
// The settings and the view are not owned and must outlive the saver; one thread, with an
// event loop for the previews.
class AttachmentSaver : public ArticleSink {
public:
    // yencLedgerPath and splitLedgerPath: where the unfinished multi-part files are recorded.
    // contentStorePath: the content store's file.
    AttachmentSaver(const SaveSettings& settings, SavedFileView& view,
                    const std::string& yencLedgerPath = YencAssembly::defaultLedgerPath(),
                    const std::string& splitLedgerPath = SplitAssembly::defaultLedgerPath(),
                    const std::string& contentStorePath = ContentStore::defaultPath());
    ~AttachmentSaver() override;

    void articleDone(const Article& article) override;
    // Writes the ledgers of unfinished files that changed; they are also written every few
    // seconds while parts come (LedgerWriter) and when the saver is destroyed.
    void flush() override;

    // Called when a file of an article could not be saved, with the reason worded for the
    // user, before articleDone() throws; stopRun is true when the download folder cannot be
    // written at all, so going on would lose every file that follows.
    using FailureReport = std::function<void(const std::string& reason, bool stopRun)>;
    void setFailureReport(FailureReport report) { failureReport_ = std::move(report); }

    MimeDecoder& decoder() { return MimeDecoder1; }
    // A preview is being made or waits to be shown.
    bool previewing() const { return previews_.busy(); }
    // What has been saved, by content; the gallery and the similar-pictures search share it.
    ContentStore& contentStore() { return store_; }

private:
    // raw: the article's bytes as they came; null for a message joined from its pieces.
    void decode(Stream& stream, const std::string* raw);
    void keepPartial(const std::string& raw);
    void showAndCount(const std::string& folder, const std::string& name);
    void showYencFiles();
    void showDuplicates();
    void showPicture(const PicturePreview& preview);
    void reportFailure(const std::string& reason);

    const SaveSettings& settings_;
    SavedFileView& view_;
    SaveTarget target_;
    ContentStore store_;
    ContentCheck check_{store_};
    MimeDecoder MimeDecoder1;
    LedgerWriter ledgerWriter_;  // before the assemblies, which hand their ledgers back to it
    SplitAssembly splitAssembly_;
    ArticleFiles files_{MimeDecoder1, splitAssembly_};
    YencAssembly yencAssembly_;
    YencFileSaver yencSaver_{MimeDecoder1.Yenc(), yencAssembly_};
    FailureReport failureReport_;
    PreviewQueue previews_;
};

} // namespace nimbra
