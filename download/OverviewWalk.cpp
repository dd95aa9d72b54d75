#include "download/OverviewWalk.h"

#include "download/ArticleBuffers.h"
#include "download/ArticleSink.h"
#include "download/ArticleSizeCheck.h"
#include "download/GroupProgress.h"
#include "download/MessageIdCache.h"
#include "download/SessionReply.h"
#include "download/SessionSettings.h"
#include "download/SessionStepError.h"
#include "download/SessionView.h"
#include "net/OverviewFormat.h"
#include "platform/Log.h"

#include <algorithm>
#include <limits>

namespace nimbra {

namespace {

// Replies to XOVER that say the server does not know the command, or that the range holds no
// article.
constexpr std::uint16_t CommandUnknown = 500;
constexpr std::uint16_t CommandSyntax = 501;
constexpr std::uint16_t NoArticlesInRange = 420;

} // namespace

OverviewWalk::OverviewWalk(NntpClient& client, SessionView& view, MessageIdCache& cache, GroupProgress& progress,
                           TransferRate& rate)
    : client_(client), view_(view), cache_(cache), progress_(progress), pool_(client, queue_, rate)
{
    pool_.OnChanged = [this] {
        if (OnPoolChanged)
            OnPoolChanged();
    };
    pool_.OnProgress = [this] {
        if (step_ == stepFetching && main_.empty() && OnPoolProgress)
            OnPoolProgress();
    };
}

void OverviewWalk::startRun()
{
    filter_.set(view_.subjectMatchText(), view_.subjectExcludeText());
    pool_.startRun(view_, millisecondsPerSecond_);
    leaveGroup();
}

void OverviewWalk::leaveGroup()
{
    resumeWanted_ = false;
    next_ = 0;
    queue_.clear();
    main_.clear();
    stalledAt_ = 0;
    stalls_ = 0;
    counts_ = {};
    countedTo_ = 0;
    setStep(stepIdle);
}

GroupWalker::Outcome OverviewWalk::enter(int groupIndex, const std::string& groupName)
{
    groupIndex_ = groupIndex;
    groupName_ = groupName;
    pool_.setGroup(groupName);
    minimumKB_ = SessionSettings::minimumKB(view_);
    maximumKB_ = SessionSettings::maximumKB(view_);
    cacheSize_ = SessionSettings::articleCache(view_);
    if (resumeWanted_ && next_ != 0) {
        resumeWanted_ = false;
        return scanFrom(next_);
    }
    const std::optional<std::int64_t> start = progress_.begin(groupName, client_.ArticleFirst(), client_.ArticleLast());
    return start ? scanFrom(*start) : ended();  // nothing above the mark
}

GroupWalker::Outcome OverviewWalk::scanFrom(std::int64_t number)
{
    const std::int64_t last = client_.ArticleLast();
    if (number > last)
        return ended();
    queue_.clear();
    main_.clear();
    next_ = number;
    lastSeen_ = number - 1;
    blockLast_ = number + std::min(blockSize_.size() - 1, last - number);  // never past 2^63-1
    replyBytes_ = 0;
    setStep(stepExamining);
    client_.Over(number, blockLast_);
    return commandSent;
}

GroupWalker::Outcome OverviewWalk::work()
{
    showArticlePanel();
    drain();
    send();
    if (!queue_.empty()) {
        setStep(stepFetching);
        return commandSent;  // on the session's connection, or (with none there) on the pool's
    }
    progress_.done(blockLast_);  // the numbers left were not in the overview: no article there
    return blockLast_ < client_.ArticleLast() ? scanFrom(blockLast_ + 1) : ended();
}

void OverviewWalk::send()
{
    const FetchQueue::Horizon horizon = pool_.horizon();
    main_.fill(client_, queue_, horizon, MainLane);
    if (pool_.lanes() > 0)
        pool_.dispatch();
}

void OverviewWalk::drain()
{
    while (!queue_.empty() && queue_.front().state == FetchQueue::settled) {
        FetchQueue::Slot& slot = queue_.front();
        progress_.done(slot.number - 1);  // the numbers before it were skipped or empty
        switch (slot.outcome) {
        case FetchQueue::whole: {
            // Until the sink has taken it the article counts as unanswered: a sink that throws
            // leaves it to be asked for again.
            std::unique_ptr<MemoryStream> article = std::move(slot.article);
            const ArticleBuffers::Return done(article);
            slot.state = FetchQueue::onWire;
            if (sink_)
                sink_->articleDone({*article, groupIndex_, groupName_});
            counts_.fetched += 1;
            finishFront(true);
            break;
        }
        case FetchQueue::tooLarge:
            counts_.skipped += 1;  // as an article over the size limits is
            finishFront(true);
            break;
        case FetchQueue::gone:
            finishFront(true);
            break;
        case FetchQueue::givenUp:
            finishFront(false);
            break;
        }
    }
    if (!queue_.empty()) {
        progress_.done(queue_.front().number - 1);  // the numbers between were skipped or empty
        next_ = queue_.front().number;
    }
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
    // Reports come in the order sent: this one is for the oldest request not reported yet.
    ArticlePipeline::InFlight* request = main_.report();
    if (!request)
        return;
    ArticlePipeline::settleTaken(*request, queue_, error, groupName_, client_.ArticleLimit());
    drain();
}

GroupWalker::Outcome OverviewWalk::replied(NntpRequest rqType, std::uint16_t error)
{
    switch (step_) {
    case stepExamining:
        if (error == CommandUnknown || error == CommandSyntax)
            return notOffered;
        if (error == NoArticlesInRange || error == replyNoSuchArticle)
            queue_.clear();
        else if (error != replySuccess)
            throw SessionStepError("XOVER answered " + std::to_string(error));
        blockSize_.replied(blockLast_ - next_ + 1, replyBytes_);
        return work();
    case stepFetching: {
        if (main_.empty() || !main_.oldest().reported)
            break;
        const ArticlePipeline::InFlight& request = main_.oldest();
        FetchQueue::Slot* slot = queue_.find(request.number, request.generation);
        if (slot && slot->state == FetchQueue::onWire) {
            // An article gone since the overview was written is as good as skipped.
            const bool gone = error == replyNoSuchArticle || error == replyNoArticleWithId;
            queue_.settle(*slot, gone ? FetchQueue::gone : FetchQueue::givenUp);
        }
        main_.popOldest();
        return work();
    }
    default:
        break;
    }
    throw SessionStepError("a reply to request " + std::to_string(rqType) + " while no command was out");
}

GroupWalker::Outcome OverviewWalk::poolChanged()
{
    if (step_ != stepFetching)
        return commandSent;
    drain();
    if (!queue_.empty() || !main_.empty()) {
        send();
        return commandSent;
    }
    return work();  // the pool finished the block: its next overview
}

bool OverviewWalk::messageLine(const std::string& line)
{
    ArticlePipeline::InFlight* request = step_ == stepFetching ? main_.reading(client_) : nullptr;
    return request && request->fetch.line(line, view_);
}

void OverviewWalk::messageEnded()
{
    if (ArticlePipeline::InFlight* request = step_ == stepFetching ? main_.reading(client_) : nullptr)
        request->fetch.ended();
}

void OverviewWalk::interrupted()
{
    if (step_ == stepFetching) {
        // The articles that came whole before the connection went are handed on; the first
        // one after them on this connection was being read (or waited for) when it went.
        while (!main_.empty()) {
            const FetchQueue::Slot* slot = queue_.find(main_.oldest().number, main_.oldest().generation);
            if (slot && slot->state != FetchQueue::settled)
                break;
            main_.popOldest();
        }
        if (!main_.empty() && main_.oldest().number == stalledAt_) {
            stalls_ += 1;
        } else if (!main_.empty()) {
            stalledAt_ = main_.oldest().number;
            stalls_ = 1;
        }
        // Past the block; at 2^63-1, where nothing comes after it, the block is asked again.
        next_ = !queue_.empty() ? queue_.front().number
              : blockLast_ < std::numeric_limits<std::int64_t>::max() ? blockLast_ + 1 : blockLast_;
    }
    for (std::size_t i = 0; i < queue_.size(); ++i)
        cache_.forget(queue_.at(i).id);  // asked for again after the reconnect
    queue_.clear();
    main_.clear();
    progress_.save();
    resumeWanted_ = true;
    setStep(stepIdle);
}

// ---- helpers ----------------------------------------------------------------------------

bool OverviewWalk::overviewLine(const OverviewLine& line)
{
    // Only numbers of this block, each once and ascending: a server cannot make the walk keep
    // more than a block or go back.
    if (step_ != stepExamining)
        return false;
    replyBytes_ += static_cast<std::int64_t>(client_.LastResponse().size()) + 2;
    if (line.number <= lastSeen_ || line.number > blockLast_)
        return false;
    lastSeen_ = line.number;
    // After a reconnect the block is scanned again from its first unfinished article: what
    // was counted before is not counted twice.
    const bool counted = line.number <= countedTo_;
    countedTo_ = std::max(countedTo_, line.number);
    counts_.scanned += counted ? 0 : 1;
    if (!chosen(line)) {
        counts_.skipped += counted ? 0 : 1;
        return true;
    }
    queue_.add(line.number, idOf(line), std::max<std::int64_t>(line.lines, 0), std::max<std::int64_t>(line.bytes, 0));
    if (line.number == stalledAt_ && stalls_ >= FetchQueue::MaximumStalls)
        queue_.settle(*queue_.find(line.number, queue_.generation()), FetchQueue::givenUp);  // it stalls every time: walked past, for a later run
    return true;
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

void OverviewWalk::finishFront(bool done)
{
    const FetchQueue::Slot& slot = queue_.front();
    if (done) {
        progress_.done(slot.number);
    } else {
        qCWarning(logSession,
                  "article %lld <%s> of %s given up in this run: refused, or cut short every time it was fetched; "
                  "the group's next run looks at it again",
                  static_cast<long long>(slot.number), slot.id.c_str(), groupName_.c_str());
        progress_.givenUp();
        cache_.forget(slot.id);
    }
    queue_.popFront();
}

void OverviewWalk::showArticlePanel()
{
    view_.setPanelText(SessionView::panelArticle, "Article: " + std::to_string(counts_.scanned) + " of "
                                                      + std::to_string(client_.ArticleEstimated()));
}

} // namespace nimbra
