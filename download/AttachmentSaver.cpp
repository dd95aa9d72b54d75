#include "download/AttachmentSaver.h"

#include "download/DifferenceHash.h"
#include "download/FileSizeOf.h"
#include "download/PreviewMaker.h"
#include "download/SaveSettings.h"
#include "download/SavedFileView.h"
#include "platform/Log.h"
#include "platform/MappedFileStream.h"
#include "platform/MemoryStream.h"
#include "platform/Rounding.h"

#include <exception>
#include <stdexcept>

namespace nimbra {
namespace {

std::int32_t kilobytes(std::int64_t bytes)
{
    return static_cast<std::int32_t>(roundHalfEven(static_cast<double>(bytes) / 1024.0));
}

// Where the body begins in a whole article: after the first empty line.
std::int64_t bodyOffset(const std::string& bytes)
{
    // A bare LF LF counts only before the first CR LF CR LF: looking past it would read the
    // whole body of every part, line by line.
    const std::size_t crlf = bytes.find("\r\n\r\n");
    const std::size_t lf = std::string_view(bytes).substr(0, crlf == std::string::npos ? bytes.size() : crlf + 2).find("\n\n");
    if (lf != std::string::npos)
        return static_cast<std::int64_t>(lf + 2);
    return crlf == std::string::npos ? -1 : static_cast<std::int64_t>(crlf + 4);
}

bool partialNumber(const std::string& text, std::uint32_t& value)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = static_cast<std::uint32_t>(std::stoul(text));
    return true;
}

} // namespace

AttachmentSaver::AttachmentSaver(const SaveSettings& settings, SavedFileView& view, const std::string& yencLedgerPath,
                                 const std::string& splitLedgerPath, const std::string& contentStorePath)
    : settings_(settings),
      view_(view),
      store_(contentStorePath),
      splitAssembly_(splitLedgerPath, SplitAssembly::DefaultMaxAgeSeconds, &ledgerWriter_),
      yencAssembly_(yencLedgerPath, &ledgerWriter_),
      previews_([this](const PicturePreview& preview) { showPicture(preview); })
{
    files_.setContentCheck(&check_);
    yencAssembly_.setContentCheck(&check_);
    if (store_.load() == ContentStore::Loaded::SetAside)
        view_.showNotice("The store of saved pictures was damaged and set aside as \"" + store_.setAsidePath()
                         + "\"; a new one is started.");
}

AttachmentSaver::~AttachmentSaver()
{
    store_.save();
}

void AttachmentSaver::flush()
{
    ledgerWriter_.flush();
    store_.save();
}

void AttachmentSaver::showPicture(const PicturePreview& preview)
{
    // The preview's small decode is made anyway: its hash costs next to nothing.
    if (const auto digest = check_.digestOf(preview.path))
        if (const auto hash = DifferenceHash::of(preview.image))
            store_.setDifferenceHash(*digest, *hash);
    view_.showPicture(preview);
}

void AttachmentSaver::articleDone(const Article& article)
{
    const std::string download = SaveTarget::downloadFolder(settings_.downloadFolderText());
    target_ = SaveTarget(download, SaveTarget::targetFolder(download, settings_.saveToOneFolder(), article.groupName));
    yencAssembly_.setPartLimit(settings_.articleLimitBytes());
    check_.setEnabled(settings_.skipKnownContent());
    check_.setArticle(ContentCheck::messageIdOf(article.ArticleStream.data()), article.groupName);
    try {
        decode(article.ArticleStream, &article.ArticleStream.data());
    } catch (const std::exception& e) {
        reportFailure(e.what());
        throw;
    }
}

void AttachmentSaver::reportFailure(const std::string& reason)
{
    // Whether anything can be written at all: a working file made and deleted at once.
    bool writable = true;
    try {
        const SaveTarget folder(target_.download(), target_.download());
        const std::string probe = folder.createWorking()->path();
        SaveTarget::discard(probe);
    } catch (const std::exception&) {
        writable = false;
    }
    qCWarning(logSaving).noquote() << "file not saved:" << QString::fromStdString(reason)
                                   << (writable ? "" : "; the download folder cannot be written, the run stops");
    if (failureReport_)
        failureReport_(reason, !writable);
}

void AttachmentSaver::decode(Stream& stream, const std::string* raw)
{
    files_.start(target_);
    yencSaver_.setTarget(target_);
    try {
        stream.rewind();
        MimeDecoder1.DecodeStream(stream);
    } catch (...) {
        files_.abandon();
        files_.finish();
        yencAssembly_.abandon();
        yencSaver_.takeReports();
        showDuplicates();
        MimeDecoder1.clearTextFields();
        throw;
    }
    const bool partial = MimeDecoder1.message().MsgType == "message/partial";
    std::vector<ArticleFiles::Saved> saved = files_.finish();
    const std::string failure = files_.failure();
    for (const ArticleFiles::Saved& file : saved)
        showAndCount(file.folder, file.name);
    showDuplicates();
    showYencFiles();
    if (!failure.empty()) {
        MimeDecoder1.clearTextFields();
        throw std::runtime_error(failure);
    }
    // A message split over several articles is decoded once, when all of it is here; a
    // partial inside a partial is not followed.
    if (partial && raw)
        keepPartial(*raw);
    MimeDecoder1.clearTextFields();
}

void AttachmentSaver::keepPartial(const std::string& raw)
{
    const MessageHeaderFields& header = MimeDecoder1.message();
    std::uint32_t number = 0;
    std::uint32_t total = 0;
    if (header.MsgPartialId.empty() || !partialNumber(header.MsgPartialNumber, number)
        || !partialNumber(header.MsgPartialTotal, total))
        return;
    const std::int64_t body = bodyOffset(raw);
    if (body < 0)
        return;
    const auto whole = splitAssembly_.keep(target_, "message/partial\n" + header.MsgPartialId, number, total, {},
                                           std::string_view(raw).substr(static_cast<std::size_t>(body)));
    if (!whole)
        return;
    // The joined message is decoded where it lies, and goes once decoded, whatever happened.
    struct Discard {
        const std::string& path;
        ~Discard() { SaveTarget::discard(path); }
    } discard{whole->workingPath};
    MappedFileStream message(whole->workingPath);
    MimeDecoder1.clearTextFields();
    decode(message, nullptr);
}

void AttachmentSaver::showYencFiles()
{
    bool failed = false;
    for (const YencAssembly::Report& report : yencSaver_.takeReports()) {
        const QString path = QString::fromStdString(report.folder + report.name);
        switch (report.outcome) {
        case YencAssembly::Outcome::Completed: qCInfo(logSaving).noquote() << "saved" << path; break;
        case YencAssembly::Outcome::Corrupt: qCWarning(logSaving).noquote() << "yEnc file checksum wrong, not counted:" << path; break;
        case YencAssembly::Outcome::Refused: qCInfo(logSaving) << "a yEnc part failed its checks and was skipped"; break;
        case YencAssembly::Outcome::Failed: qCWarning(logSaving).noquote() << "a yEnc file could not be written:" << path; break;
        case YencAssembly::Outcome::Stored:
        case YencAssembly::Outcome::Duplicate:
        case YencAssembly::Outcome::Known: break;
        }
        if (report.counts())
            showAndCount(report.folder, report.name);
        failed = failed || report.outcome == YencAssembly::Outcome::Failed;
    }
    if (failed)
        throw std::runtime_error("Cannot write a yEnc file");
}

void AttachmentSaver::showDuplicates()
{
    for (const ContentCheck::Duplicate& duplicate : check_.takeDuplicates())
        view_.countDuplicate(duplicate.name, duplicate.firstPath);
}

void AttachmentSaver::showAndCount(const std::string& folder, const std::string& name)
{
    const std::string path = folder + name;
    const std::int64_t size = FileSizeOf(path);
    if (size < 1)
        return;
    view_.showSavedName(name, path);
    // The picture follows when it is ready; a later file makes it wait for nothing.
    if (PreviewMaker::isPictureName(name) && view_.showsPictures())
        previews_.request(folder, name);
    else
        previews_.supersede();
    view_.showSavedSize(size);
    view_.addToStatistics(1, kilobytes(size));
}

} // namespace nimbra
