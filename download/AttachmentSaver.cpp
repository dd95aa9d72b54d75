#include "download/AttachmentSaver.h"

#include "download/FileSizeOf.h"
#include "download/PreviewMaker.h"
#include "download/SavedFileView.h"
#include "download/SessionView.h"
#include "download/UuJoinState.h"
#include "mime/UuTargetFile.h"
#include "platform/MemoryStream.h"
#include "platform/Rounding.h"

#include <exception>
#include <stdexcept>
#include <unistd.h>

namespace nimbra {
namespace {

std::int32_t kilobytes(std::int64_t bytes)
{
    return static_cast<std::int32_t>(roundHalfEven(static_cast<double>(bytes) / 1024.0));
}

} // namespace

AttachmentSaver::AttachmentSaver(const SessionView& settings, SavedFileView& view, const std::string& ledgerPath)
    : settings_(settings), view_(view), yencAssembly_(ledgerPath)
{
    MimeDecoder1.OnPartBegin = [this](MimeDecoder& d) { MimeDecoder1PartBegin(d); };
    MimeDecoder1.OnPartLine = [this](MimeDecoder& d, const char* data, std::size_t length) {
        MimeDecoder1PartLine(d, data, length);
    };
    MimeDecoder1.OnPartEnd = [this](MimeDecoder& d) { MimeDecoder1PartEnd(d); };
}

void AttachmentSaver::MimeDecoder1PartBegin(MimeDecoder& Sender)
{
    const auto name = Sender.PartFileName();
    if (!name)
        return;
    // Folders one level each, leading "1"s until the name is free, a random ".jpg" name when
    // the folder or the file cannot be made; throws when even that fails.
    Sender.setOutputFile(UuTargetFile::create(target_, *name, SavedFileName));
}

void AttachmentSaver::MimeDecoder1PartLine(MimeDecoder& Sender, const char* Data, std::size_t DataLen)
{
    FileStream* file = Sender.OutputFile();
    if (!file || DataLen == 0)
        return;
    file->write(Data, DataLen);
    if (file->failed() && failedPath_.empty())
        failedPath_ = file->path();
}

void AttachmentSaver::MimeDecoder1PartEnd(MimeDecoder&)
{
    closeOutput();
}

void AttachmentSaver::closeOutput()
{
    FileStream* file = MimeDecoder1.OutputFile();
    if (!file)
        return;
    const std::string path = file->path();
    if (!MimeDecoder1.closeOutputFile() && failedPath_.empty())
        failedPath_ = path;
}

void AttachmentSaver::articleDone(const Article& article)
{
    const std::string download = SaveTarget::downloadFolder(settings_.downloadFolderText());
    const std::string folder = SaveTarget::targetFolder(download, settings_.saveToOneFolder(), article.groupName);
    target_.start(article.uu, download, folder);
    yencSaver_.setTargetFolder(folder);
    failedPath_.clear();
    // A file the previous article began and this one may continue: only what this article
    // adds to it is counted.
    const std::string continued = article.uu.LastFileName;
    const std::int64_t continuedSize = continued.empty() ? -1 : FileSizeOf(folder + continued);

    try {
        article.ArticleStream.rewind();
        MimeDecoder1.DecodeStream(article.ArticleStream);
        // Flushed before the size probe, so the probe sees every byte.
        closeOutput();
    } catch (...) {
        yencAssembly_.abandon();
        yencSaver_.takeReports();
        finishArticle();
        throw;
    }

    if (!failedPath_.empty()) {
        ::unlink(failedPath_.c_str());
        const std::string failed = failedPath_;
        finishArticle();
        showYencFiles();
        throw std::runtime_error("Cannot write file \"" + failed + "\"");
    }

    std::string name;
    if (!MimeDecoder1.UuFileName().empty()) {
        name = MimeDecoder1.UuFileName();
        article.uu.LastFileName = name;
    }
    if (!SavedFileName.empty())
        name = SavedFileName;
    if (!name.empty())
        showAndCount(folder, name, name == continued ? continuedSize : -1);
    finishArticle();
    showYencFiles();
}

void AttachmentSaver::showYencFiles()
{
    bool failed = false;
    for (const YencAssembly::Report& report : yencSaver_.takeReports()) {
        if (report.counts())
            showAndCount(report.folder, report.name, -1);
        failed = failed || report.outcome == YencAssembly::Outcome::Failed;
    }
    if (failed)
        throw std::runtime_error("Cannot write a yEnc file");
}

void AttachmentSaver::showAndCount(const std::string& folder, const std::string& name, std::int64_t sizeBefore)
{
    const std::string path = folder + name;
    const std::int64_t size = FileSizeOf(path);
    if (size < 1) {
        PreviewMaker::remove(path);
        return;
    }
    view_.showSavedName(name, path);
    if (PreviewMaker::isPictureName(name)) {
        try {
            if (const auto preview = PreviewMaker::make(folder, name))
                view_.showPicture(*preview);
        } catch (const std::exception&) {
            // A picture that cannot be previewed is still a saved file.
        }
    }
    view_.showSavedSize(size);
    if (sizeBefore >= 0)
        view_.addToStatistics(0, kilobytes(size - sizeBefore));
    else
        view_.addToStatistics(1, kilobytes(size));
}

void AttachmentSaver::finishArticle()
{
    SavedFileName.clear();
    MimeDecoder1.clearTextFields();
    MimeDecoder1.closeOutputFile();
    target_.finish();
}

} // namespace nimbra
