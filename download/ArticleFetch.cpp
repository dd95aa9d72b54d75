#include "download/ArticleFetch.h"

#include "download/ArticleBuffers.h"
#include "download/ArticleSink.h"
#include "download/SessionReply.h"
#include "download/SessionView.h"
#include "platform/Log.h"

namespace nimbra {

void ArticleFetch::startRun()
{
    shownPercent_.reset();
    drop();
}

void ArticleFetch::drop()
{
    ArticleBuffers::giveBack(std::move(stream_));
}

MemoryStream* ArticleFetch::begin(std::int32_t lines, std::int64_t bytes)
{
    drop();
    stream_ = ArticleBuffers::take(bytes);
    ended_ = false;
    lines_ = lines;
    follower_.startArticle();
    return stream_.get();
}

bool ArticleFetch::line(const std::string& text, SessionView& view)
{
    if (!stream_ || follower_.follow(text) != ArticleLineFollower::bodyLine)
        return false;
    // Shown only when it changes: this runs for every body line.
    const std::optional<std::int64_t> percent = follower_.percent(lines_);
    if (percent && percent != shownPercent_) {
        shownPercent_ = percent;
        view.setPanelText(SessionView::panelPercent, std::to_string(*percent) + "%");
    }
    return true;
}

bool ArticleFetch::line(const std::string& text)
{
    return stream_ && follower_.follow(text) == ArticleLineFollower::bodyLine;
}

std::unique_ptr<MemoryStream> ArticleFetch::takeWhole()
{
    std::unique_ptr<MemoryStream> article = std::move(stream_);
    if (!article || !ended_)
        return nullptr;
    article->rewind();
    return article;
}

bool ArticleFetch::deliver(ArticleSink* sink, int groupIndex, const std::string& groupName)
{
    std::unique_ptr<MemoryStream> article = std::move(stream_);
    if (!article || !ended_)
        return false;
    article->rewind();
    const ArticleBuffers::Return done(article);
    if (sink)
        sink->articleDone({*article, groupIndex, groupName});
    return true;
}

bool ArticleFetch::tooLarge(std::uint16_t error, std::int64_t number, const std::string& groupName,
                            std::uint64_t limit)
{
    if (error != replyTooLarge)
        return false;
    drop();
    qCInfo(logSession, "article %lld of %s skipped: larger than %llu bytes", static_cast<long long>(number),
           groupName.c_str(), static_cast<unsigned long long>(limit));
    return true;
}

} // namespace nimbra
