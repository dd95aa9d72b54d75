#pragma once

#include "download/ArticleSink.h"
#include "download/SaveTarget.h"
#include "download/YencAssembly.h"
#include "download/YencFileSaver.h"
#include "mime/MimeDecoder.h"

#include <cstdint>
#include <string>

namespace nimbra {

class SavedFileView;
class SessionView;

// The article-done step: decodes each fetched article with its own decoder, writes the
// attachment into the target folder (the download folder, or the group's folder inside it)
// under a name that overwrites nothing, deletes a file that came out empty, shows the saved
// file's name and size, previews a picture, and counts the file.
//
// The decoder's part events are bound to MimeDecoder1PartBegin / PartLine / PartEnd; the
// uudecoding path makes its own files and its bytes come through MimeDecoder1PartLine too.
// yEnc blocks go to a YencAssembly, which puts split files together across articles; each
// file it completes during an article is shown and counted after the article's own file.
//
// A file that cannot be written whole (full disk, unwritable folder) is deleted, not shown
// and not counted, and articleDone() throws std::runtime_error, which the session treats as
// a stalled connection. Every article ends with the decoder's text fields emptied and its
// output file closed, also when articleDone() throws.
//
// The settings and the view are not owned and must outlive the saver; one thread.
class AttachmentSaver : public ArticleSink {
public:
    // ledgerPath: where the yEnc assembly keeps its unfinished files.
    AttachmentSaver(const SessionView& settings, SavedFileView& view,
                    const std::string& ledgerPath = YencAssembly::defaultLedgerPath());

    void articleDone(const Article& article) override;

    MimeDecoder& decoder() { return MimeDecoder1; }
    // The name the part-begin handler gave the current article's file; empty between articles.
    const std::string& savedFileName() const { return SavedFileName; }

private:
    void MimeDecoder1PartBegin(MimeDecoder& Sender);
    void MimeDecoder1PartLine(MimeDecoder& Sender, const char* Data, std::size_t DataLen);
    void MimeDecoder1PartEnd(MimeDecoder& Sender);

    void closeOutput();
    void showAndCount(const std::string& folder, const std::string& name, std::int64_t sizeBefore);
    void showYencFiles();
    void finishArticle();

    const SessionView& settings_;
    SavedFileView& view_;
    SaveTarget target_;
    MimeDecoder MimeDecoder1{target_};
    YencAssembly yencAssembly_;
    YencFileSaver yencSaver_{MimeDecoder1.Yenc(), yencAssembly_};
    std::string SavedFileName;
    std::string failedPath_;  // the file whose bytes could not all be written
};

} // namespace nimbra
