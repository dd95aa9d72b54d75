#include "download/OverviewWalk.h"

#include "download/ArticleSizeCheck.h"
#include "download/GroupProgress.h"
#include "download/MessageIdCache.h"
#include "download/SessionReply.h"
#include "download/SessionSettings.h"
#include "download/SessionStepError.h"
#include "download/SessionView.h"
#include "net/OverviewFormat.h"

#include <algorithm>
#include <limits>

namespace nimbra {

namespace {

// Replies to XOVER that say the server does not know the command, or that the range holds no
// article.
constexpr std::uint16_t CommandUnknown = 500;
constexpr std::uint16_t CommandSyntax = 501;
constexpr std::uint16_t NoArticlesInRange = 420;
constexpr std::uint16_t NoArticleWithId = 430;

} // namespace

OverviewWalk::OverviewWalk(NntpClient& client, SessionView& view, MessageIdCache& cache, GroupProgress& progress)
    : client_(client), view_(view), cache_(cache), progress_(progress)
{
}

void OverviewWalk::startRun()
{
    filter_.set(view_.subjectMatchText(), view_.subjectExcludeText());
    leaveGroup();
}

void OverviewWalk::leaveGroup()
{
    resumeWanted_ = false;
    next_ = 0;
    entries_.clear();
    sent_.clear();
    stalledAt_ = 0;
    stalls_ = 0;
    counts_ = {};
    setStep(stepIdle);
}

GroupWalker::Outcome OverviewWalk::enter(int groupIndex, const std::string& groupName)
{
    groupIndex_ = groupIndex;
    groupName_ = groupName;
    minimumKB_ = SessionSettings::minimumKB(view_);
    maximumKB_ = SessionSettings::maximumKB(view_);
    cacheSize_ = SessionSettings::articleCache(view_);
    if (resumeWanted_ && next_ != 0) {
        resumeWanted_ = false;
        return scanFrom(next_);
    }
    return scanFrom(progress_.begin(groupName, client_.ArticleFirst(), client_.ArticleLast()));
}

GroupWalker::Outcome OverviewWalk::scanFrom(std::int64_t number)
{
    const std::int64_t last = client_.ArticleLast();
    if (number > last)
        return ended();
    entries_.clear();
    sent_.clear();
    next_ = number;
    lastSeen_ = number - 1;
    blockLast_ = std::min(last, number + blockSize_.size() - 1);
    replyBytes_ = 0;
    setStep(stepExamining);
    client_.Over(number, blockLast_);
    return commandSent;
}

GroupWalker::Outcome OverviewWalk::work()
{
    showArticlePanel();
    send();
    if (!sent_.empty()) {
        setStep(stepFetching);
        return commandSent;
    }
    progress_.done(blockLast_);  // the numbers left were not in the overview: no article there
    return scanFrom(blockLast_ + 1);
}

void OverviewWalk::send()
{
    const std::size_t window = static_cast<std::size_t>(std::max(1, client_.PipelineWindow()));
    while (sent_.size() < window && sent_.size() < entries_.size()) {
        if (sent_.empty()) {
            const Entry& front = entries_.front();
            progress_.done(front.number - 1);  // everything before it was skipped or saved
            next_ = front.number;
            if (front.number == stalledAt_ && stalls_ >= 2) {
                finishEntry(false);  // it stalls every time: walked past, for a later run
                continue;
            }
        }
        const Entry& entry = entries_[sent_.size()];
        const auto lines = static_cast<std::int32_t>(std::min<std::int64_t>(entry.lines, std::numeric_limits<std::int32_t>::max()));
        sent_.emplace_back();
        client_.ArticleByNumber(entry.number, sent_.back().fetch.begin(lines));
    }
}

OverviewWalk::Sent* OverviewWalk::reading()
{
    // The client has ended the requests before the one it reads; their reports may still be
    // on their way, so they are counted from the back: the requests it still has under way
    // are the last of those sent.
    const std::size_t underWay = static_cast<std::size_t>(std::max(0, client_.RequestsInFlight()));
    if (step_ != stepFetching || underWay == 0 || underWay > sent_.size())
        return nullptr;
    return &sent_[sent_.size() - underWay];
}

GroupWalker::Outcome OverviewWalk::ended()
{
    progress_.finished();
    setStep(stepIdle);
    return groupEnded;
}

void OverviewWalk::takeArticle(NntpRequest rqType, std::uint16_t error)
{
    if (rqType != nntpArticleByNumber || step_ != stepFetching)
        return;
    // Reports come in the order sent: this one is for the oldest fetch not reported yet.
    const auto sent = std::find_if(sent_.begin(), sent_.end(), [](const Sent& s) { return !s.reported; });
    if (sent == sent_.end())
        return;
    sent->reported = true;
    const Entry& entry = entries_[static_cast<std::size_t>(sent - sent_.begin())];
    if (sent->fetch.tooLarge(error, entry.number, groupName_, client_.ArticleLimit())) {
        sent->delivered = true;  // settled: skipped as an article over the size limits is
        counts_.skipped += 1;
        return;
    }
    if (error == replySuccess)
        sent->delivered = sent->fetch.deliver(sink_, groupIndex_, groupName_);
    sent->fetch.drop();
    if (sent->delivered)
        counts_.fetched += 1;
}

GroupWalker::Outcome OverviewWalk::replied(NntpRequest rqType, std::uint16_t error)
{
    switch (step_) {
    case stepExamining:
        if (error == CommandUnknown || error == CommandSyntax)
            return notOffered;
        if (error == NoArticlesInRange || error == replyNoSuchArticle)
            entries_.clear();
        else if (error != replySuccess)
            throw SessionStepError("XOVER answered " + std::to_string(error));
        blockSize_.replied(blockLast_ - next_ + 1, replyBytes_);
        return work();
    case stepFetching:
        if (sent_.empty() || !sent_.front().reported)
            break;
        // An article gone since the overview was written is as good as skipped.
        finishEntry(sent_.front().delivered || error == replyNoSuchArticle || error == NoArticleWithId);
        return work();
    default:
        break;
    }
    throw SessionStepError("a reply to request " + std::to_string(rqType) + " while no command was out");
}

bool OverviewWalk::messageLine(const std::string& line)
{
    Sent* sent = reading();
    return sent && sent->fetch.line(line, view_);
}

void OverviewWalk::messageEnded()
{
    if (Sent* sent = reading())
        sent->fetch.ended();
}

void OverviewWalk::interrupted()
{
    if (step_ == stepFetching) {
        // Those that arrived whole before the connection went are done; the first one after
        // them was being read (or waited for) when it went.
        while (!sent_.empty() && sent_.front().delivered)
            finishEntry(true);
        if (!sent_.empty() && entries_.front().number == stalledAt_) {
            stalls_ += 1;
        } else if (!sent_.empty()) {
            stalledAt_ = entries_.front().number;
            stalls_ = 1;
        }
        next_ = entries_.empty() ? blockLast_ + 1 : entries_.front().number;
    }
    for (const Entry& entry : entries_)
        cache_.forget(entry.id);  // asked for again after the reconnect
    entries_.clear();
    sent_.clear();
    progress_.save();
    resumeWanted_ = true;
    setStep(stepIdle);
}

// ---- helpers ----------------------------------------------------------------------------

void OverviewWalk::overviewLine(const OverviewLine& line)
{
    // Only numbers of this block, each once and ascending: a server cannot make the walk keep
    // more than a block or go back.
    if (step_ != stepExamining)
        return;
    replyBytes_ += static_cast<std::int64_t>(client_.LastResponse().size()) + 2;
    if (line.number <= lastSeen_ || line.number > blockLast_)
        return;
    lastSeen_ = line.number;
    counts_.scanned += 1;
    if (!chosen(line)) {
        counts_.skipped += 1;
        return;
    }
    entries_.push_back({line.number, idOf(line), std::max<std::int64_t>(line.lines, 0)});
}

bool OverviewWalk::chosen(const OverviewLine& line)
{
    // The filter comes before the cache, so an article filtered out now is not remembered as
    // handled and a changed filter with a rescan still finds it.
    if (!filter_.passes(std::string(line.subject)))
        return false;
    if (cache_.testAndEnter(idOf(line), cacheSize_))
        return false;
    if (line.lines < 0)
        return minimumKB_ == 0;  // unknown size: as the size query decides
    return line.lines >= static_cast<std::int64_t>(minimumKB_) * ArticleSizeCheck::LinesPerKB
        && line.lines <= static_cast<std::int64_t>(maximumKB_) * ArticleSizeCheck::LinesPerKB;
}

std::string OverviewWalk::idOf(const OverviewLine& line)
{
    // The cache holds ids as the client gives them after STAT and NEXT: without the brackets.
    std::string_view id = line.messageId;
    if (id.size() >= 2 && id.front() == '<' && id.back() == '>')
        id = id.substr(1, id.size() - 2);
    return std::string(id);
}

void OverviewWalk::finishEntry(bool done)
{
    const Entry& entry = entries_.front();
    if (done) {
        progress_.done(entry.number);
    } else {
        progress_.givenUp();
        cache_.forget(entry.id);
    }
    entries_.pop_front();
    if (!sent_.empty())
        sent_.pop_front();
    if (!entries_.empty()) {
        progress_.done(entries_.front().number - 1);  // the numbers between were skipped or empty
        next_ = entries_.front().number;
    }
}

void OverviewWalk::showArticlePanel()
{
    view_.setPanelText(SessionView::panelArticle, "Article: " + std::to_string(counts_.scanned) + " of "
                                                      + std::to_string(client_.ArticleEstimated()));
}

} // namespace nimbra
