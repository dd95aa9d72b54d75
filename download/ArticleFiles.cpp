#include "download/ArticleFiles.h"

#include "mime/MimeDecoder.h"
#include "download/ContentCheck.h"
#include "download/FileSizeOf.h"
#include "platform/Log.h"

#include <exception>
#include <utility>

namespace nimbra {

ArticleFiles::ArticleFiles(MimeDecoder& decoder, SplitAssembly& split) : decoder_(decoder), split_(split)
{
    decoder_.OnHeaderEnd = [this](MimeDecoder& d) {
        counter_ = PartCounter::find(d.message().MsgSubject);
        poster_ = d.message().MsgFrom;
    };
    decoder_.OnPartBegin = [this](MimeDecoder& d) {
        if (const auto name = d.PartFileName())
            open(Kind::MimePart, *name);
    };
    decoder_.OnPartLine = [this](MimeDecoder&, const char* data, std::size_t length) { write(data, length); };
    decoder_.OnPartEnd = [this](MimeDecoder&) {
        if (output_ && output_->kind == Kind::MimePart)
            closeAndPublish();
    };
    decoder_.OnUuBegin = [this](MimeDecoder&, const std::string& name) { uuBegin(name); };
    decoder_.OnUuContinue = [this](MimeDecoder&) {
        // Only a part of a counted series can be the rest of a file from another article.
        if (!output_ && counter_ && counter_->total > 1)
            open(Kind::UuContinuation, {});
    };
    decoder_.OnUuEnd = [this](MimeDecoder&, bool endLineSeen) { uuEnd(endLineSeen); };
}

ArticleFiles::~ArticleFiles()
{
    decoder_.OnHeaderEnd = nullptr;
    decoder_.OnPartBegin = nullptr;
    decoder_.OnPartLine = nullptr;
    decoder_.OnPartEnd = nullptr;
    decoder_.OnUuBegin = nullptr;
    decoder_.OnUuContinue = nullptr;
    decoder_.OnUuEnd = nullptr;
}

bool ArticleFiles::mayBePart(Kind kind) const
{
    return kind != Kind::MimePart && counter_ && counter_->total > 1;
}

void ArticleFiles::open(Kind kind, const std::string& rawName)
{
    abandon();
    held_.clear();
    output_ = Output{kind, mayBePart(kind) ? nullptr : target_.createWorking(), rawName, 0, std::nullopt};
    if (check_ && check_->enabled())
        output_->hasher.emplace();
}

void ArticleFiles::write(const char* data, std::size_t length)
{
    if (!output_ || length == 0)
        return;
    if (output_->file)
        output_->file->write(data, length);
    else
        held_.append(data, length);
    output_->bytes += length;
    if (output_->hasher)
        output_->hasher->update(data, length);
}

std::string ArticleFiles::close()
{
    if (!output_)
        return {};
    if (!output_->file) {
        // A whole file in an article of a counted series: its held bytes become a file.
        output_->file = target_.createWorking();
        output_->file->write(held_.data(), held_.size());
        held_.clear();
    }
    const std::string path = output_->file->path();
    const bool good = output_->file->close() && !output_->file->failed();
    closedDigest_ = output_->hasher ? output_->hasher->finish() : std::nullopt;
    output_.reset();
    if (good)
        return path;
    SaveTarget::discard(path);
    if (failure_.empty())
        failure_ = "Cannot write a file in \"" + target_.target() + "\"";
    qCWarning(logSaving).noquote() << "a file could not be written whole in" << QString::fromStdString(target_.target())
                                   << "and is deleted";
    return {};
}

void ArticleFiles::abandon()
{
    if (!output_)
        return;
    const std::string path = output_->file ? output_->file->path() : std::string();
    output_.reset();  // closes the file
    held_.clear();
    if (!path.empty())
        SaveTarget::discard(path);
}

void ArticleFiles::closeAndPublish()
{
    const std::string name = output_->rawName;
    const std::string path = close();
    publish(path, name, closedDigest_);
}

void ArticleFiles::publish(const std::string& workingPath, const std::string& rawName,
                           const std::optional<ContentDigest>& digest)
{
    if (workingPath.empty())
        return;
    if (FileSizeOf(workingPath) < 1) {
        SaveTarget::discard(workingPath);  // nothing was decoded: no file
        qCInfo(logSaving).noquote() << "skipped" << QString::fromStdString(rawName) << ": no bytes in it";
        return;
    }
    try {
        const std::optional<std::string> named =
            check_ ? check_->publish(target_, workingPath, rawName, digest) : target_.publish(workingPath, rawName);
        if (!named)
            return;  // the content is known: the check logged and counted it
        const std::string& name = *named;
        const std::size_t slash = workingPath.rfind('/');
        saved_.push_back({workingPath.substr(0, slash + 1), name});
        qCInfo(logSaving).noquote() << "saved" << QString::fromStdString(workingPath.substr(0, slash + 1) + name);
    } catch (const std::exception& e) {
        if (failure_.empty())
            failure_ = e.what();
        qCWarning(logSaving).noquote() << "not saved:" << e.what();
    }
}

void ArticleFiles::uuBegin(const std::string& name)
{
    // In an x-uuencode MIME part the part's own name wins.
    if (output_ && output_->kind == Kind::MimePart)
        return;
    open(Kind::UuBlock, name);
}

void ArticleFiles::uuEnd(bool endLineSeen)
{
    if (!output_ || output_->kind == Kind::MimePart)
        return;
    const std::string name = output_->rawName;
    if (output_->kind == Kind::UuBlock && endLineSeen) {
        closeAndPublish();
        return;
    }
    if (counter_ && counter_->total > 1) {
        keepPart(name);
        return;
    }
    qCInfo(logSaving).noquote() << "skipped" << QString::fromStdString(name)
                                << ": its uuencoded data stops before the end line and no part counter says more follows";
    abandon();
}

void ArticleFiles::keepPart(const std::string& rawName)
{
    if (!output_ || output_->file)
        return;  // not opened as a part
    output_.reset();
    const std::string key = counter_->stem + "\n" + poster_;
    try {
        const auto whole = split_.keep(target_, key, counter_->number, counter_->total, rawName, held_);
        held_.clear();
        qCInfo(logSaving).noquote() << "kept part" << counter_->number << "of" << counter_->total << "of"
                                    << QString::fromStdString(counter_->stem);
        if (whole)
            publish(whole->workingPath, whole->name);
    } catch (const std::exception& e) {
        held_.clear();
        if (failure_.empty())
            failure_ = e.what();
        qCWarning(logSaving).noquote() << "cannot keep a part of a split file:" << e.what();
    }
}

std::vector<ArticleFiles::Saved> ArticleFiles::finish()
{
    abandon();
    counter_.reset();
    poster_.clear();
    return std::exchange(saved_, {});
}

} // namespace nimbra
