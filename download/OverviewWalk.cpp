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
    fetch_.startRun();
    filter_.set(view_.subjectMatchText(), view_.subjectExcludeText());
    leaveGroup();
}

void OverviewWalk::leaveGroup()
{
    resumeWanted_ = false;
    next_ = 0;
    entries_.clear();
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
    next_ = number;
    lastSeen_ = number - 1;
    blockLast_ = std::min(last, number + blockSize_ - 1);
    setStep(stepExamining);
    client_.Over(number, blockLast_);
    return commandSent;
}

GroupWalker::Outcome OverviewWalk::work()
{
    showArticlePanel();
    while (!entries_.empty()) {
        const Entry& entry = entries_.front();
        progress_.done(entry.number - 1);  // everything before it was skipped or saved
        next_ = entry.number;
        if (entry.number == stalledAt_ && stalls_ >= 2) {
            finishEntry(false);  // it stalls every time: walked past, for a later run
            continue;
        }
        delivered_ = false;
        setStep(stepFetching);
        client_.ArticleByNumber(entry.number, fetch_.begin(static_cast<std::int32_t>(
                                                  std::min<std::int64_t>(entry.lines, std::numeric_limits<std::int32_t>::max()))));
        return commandSent;
    }
    progress_.done(blockLast_);  // the numbers left were not in the overview: no article there
    return scanFrom(blockLast_ + 1);
}

GroupWalker::Outcome OverviewWalk::ended()
{
    progress_.finished();
    setStep(stepIdle);
    return groupEnded;
}

void OverviewWalk::takeArticle(NntpRequest rqType, std::uint16_t error)
{
    if (rqType != nntpArticleByNumber || step_ != stepFetching || entries_.empty())
        return;
    if (fetch_.tooLarge(error, entries_.front().number, groupName_, client_.ArticleLimit())) {
        delivered_ = true;  // settled: skipped as an article over the size limits is
        counts_.skipped += 1;
        return;
    }
    if (error != replySuccess)
        return;
    delivered_ = fetch_.deliver(sink_, groupIndex_, groupName_);
    if (delivered_)
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
        return work();
    case stepFetching:
        // An article gone since the overview was written is as good as skipped.
        finishEntry(delivered_ || error == replyNoSuchArticle || error == NoArticleWithId);
        return work();
    default:
        break;
    }
    throw SessionStepError("a reply to request " + std::to_string(rqType) + " while no command was out");
}

bool OverviewWalk::messageLine(const std::string& line)
{
    return step_ == stepFetching && fetch_.line(line, view_);
}

void OverviewWalk::messageEnded()
{
    if (step_ == stepFetching)
        fetch_.ended();
}

void OverviewWalk::interrupted()
{
    if (step_ == stepFetching && !entries_.empty()) {
        if (delivered_) {
            finishEntry(true);  // it arrived whole before the connection went
            next_ = entries_.empty() ? blockLast_ + 1 : entries_.front().number;
        } else if (entries_.front().number == stalledAt_) {
            stalls_ += 1;
        } else {
            stalledAt_ = entries_.front().number;
            stalls_ = 1;
        }
    }
    for (const Entry& entry : entries_)
        cache_.forget(entry.id);  // asked for again after the reconnect
    entries_.clear();
    fetch_.drop();
    progress_.save();
    resumeWanted_ = true;
    setStep(stepIdle);
}

// ---- helpers ----------------------------------------------------------------------------

void OverviewWalk::overviewLine(const OverviewLine& line)
{
    // Only numbers of this block, each once and ascending: a server cannot make the walk keep
    // more than a block or go back.
    if (step_ != stepExamining || line.number <= lastSeen_ || line.number > blockLast_)
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
    delivered_ = false;
}

void OverviewWalk::showArticlePanel()
{
    view_.setPanelText(SessionView::panelArticle, "Article: " + std::to_string(counts_.scanned) + " of "
                                                      + std::to_string(client_.ArticleEstimated()));
}

} // namespace nimbra
