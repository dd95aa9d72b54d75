#include "download/ArticleFetch.h"

#include "download/ArticleSink.h"
#include "download/SessionView.h"

namespace nimbra {

void ArticleFetch::startRun()
{
    shownPercent_.clear();
    stream_.reset();
}

MemoryStream* ArticleFetch::begin(std::int32_t lines)
{
    stream_ = std::make_unique<MemoryStream>();
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
    const auto percent = follower_.percentText(lines_);
    if (percent && *percent != shownPercent_) {
        shownPercent_ = *percent;
        view.setPanelText(SessionView::panelPercent, shownPercent_);
    }
    return true;
}

bool ArticleFetch::deliver(ArticleSink* sink, int groupIndex, const std::string& groupName)
{
    std::unique_ptr<MemoryStream> article = std::move(stream_);
    if (!article || !ended_)
        return false;
    article->rewind();
    if (sink)
        sink->articleDone({*article, groupIndex, groupName});
    return true;
}

} // namespace nimbra
