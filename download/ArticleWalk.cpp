#include "download/ArticleWalk.h"

#include "download/ArticleSink.h"
#include "download/GroupProgress.h"
#include "download/MessageIdCache.h"
#include "download/SessionReply.h"
#include "download/SessionSettings.h"
#include "download/SessionStepError.h"
#include "download/SessionView.h"
#include "platform/Log.h"

namespace nimbra {

namespace {
constexpr const char* LookingText = "Looking for a valid article...";
} // namespace

ArticleWalk::ArticleWalk(NntpClient& client, SessionView& view, MessageIdCache& cache, GroupProgress& progress)
    : client_(client), view_(view), cache_(cache), progress_(progress)
{
}

void ArticleWalk::startRun()
{
    fetch_.startRun();
    seekRefused_ = false;
    leaveGroup();
}

void ArticleWalk::leaveGroup()
{
    resumeWanted_ = false;
    currentArticle_ = 0;
    counts_ = {};
    setStep(stepIdle);
}

GroupWalker::Outcome ArticleWalk::enter(int groupIndex, const std::string& groupName)
{
    groupIndex_ = groupIndex;
    groupName_ = groupName;
    if (resumeWanted_ && currentArticle_ != 0)
        return resume();
    retried_ = 0;
    probes_ = 0;
    const std::optional<std::int64_t> start = progress_.begin(groupName, client_.ArticleFirst(), client_.ArticleLast());
    if (!start || *start > client_.ArticleLast())
        return ended();  // nothing above the mark
    currentArticle_ = *start;
    ordinal_ = 1;
    showArticlePanel();
    // The group reply names no article; a STAT of the first one tells its message-id, so the
    // cache test sees the right id and a known first article is never fetched again.
    stat(*start, stepExamining);
    return commandSent;
}

GroupWalker::Outcome ArticleWalk::resume()
{
    // The article reached is looked at again, since the stall may have cut it off; once only,
    // so an article that stalls every time is walked past instead of forever.
    const bool firstLook = currentArticle_ != retried_;
    retried_ = currentArticle_;
    stat(currentArticle_, firstLook ? stepExamining : stepPassing);
    return commandSent;
}

void ArticleWalk::takeArticle(NntpRequest rqType, std::uint16_t error)
{
    if (rqType != nntpArticleByNumber || step_ != stepFetching)
        return;
    if (fetch_.tooLarge(error, sizeCheck_.number(), groupName_, client_.ArticleLimit())) {
        pendingId_.clear();  // judged, as an article skipped by its size
        counts_.skipped += 1;
        progress_.done(sizeCheck_.number());
        return;
    }
    if (error != replySuccess)
        return;
    if (!fetch_.deliver(sink_, groupIndex_, groupName_))
        return;  // the connection ended inside the article: nothing of it is saved
    pendingId_.clear();
    counts_.fetched += 1;
    progress_.done(sizeCheck_.number());
}

GroupWalker::Outcome ArticleWalk::replied(NntpRequest rqType, std::uint16_t error)
{
    if (error == replyNoNextArticle)
        return ended();
    if (step_ == stepSeeking)
        return sought(error);
    if (error == replyNoSuchArticle && step_ != stepSizeQuery)
        return lookFurther();
    switch (step_) {
    case stepExamining:
        return error == replySuccess ? examine() : walkOn();
    case stepPassing:
        progress_.givenUp();
        return walkOn();
    case stepFetching:
        if (error != replySuccess && error != replyTooLarge)
            progress_.givenUp();  // refused or cut short: looked at again in a later run
        return walkOn();
    case stepSizeQuery:
        return sizeDecided(error);
    case stepMoving:
        if (error != replySuccess)
            throw SessionStepError("NEXT answered " + std::to_string(error));
        return moved();
    case stepSeeking:  // answered above
    case stepIdle:
        break;
    }
    throw SessionStepError("a reply to request " + std::to_string(rqType) + " while no command was out");
}

GroupWalker::Outcome ArticleWalk::lookFurther()
{
    // The article reached is not there: the next one that is comes from the server's listing.
    if (seekRefused_)
        return probe();
    if (currentArticle_ >= client_.ArticleLast() || !seek_.start(currentArticle_ + 1, client_.ArticleLast()))
        return ended();
    view_.setPanelText(SessionView::panelArticle, LookingText);
    askSeek();
    return commandSent;
}

GroupWalker::Outcome ArticleWalk::sought(std::uint16_t error)
{
    if (error != replySuccess) {
        qCInfo(logSession, "XHDR %s of a range answered %u in %s: probing one number at a time", ArticleSeek::Header,
               static_cast<unsigned>(error), groupName_.c_str());
        seekRefused_ = true;
        return probe();
    }
    if (seek_.found() != 0) {
        currentArticle_ = seek_.found();
        stat(currentArticle_, stepExamining);
        return commandSent;
    }
    if (!seek_.next()) {
        qCInfo(logSession, "no article after %lld in %s (%d queries): the group is done",
               static_cast<long long>(currentArticle_), groupName_.c_str(), seek_.queries());
        return ended();
    }
    askSeek();
    return commandSent;
}

GroupWalker::Outcome ArticleWalk::probe()
{
    if (currentArticle_ >= client_.ArticleLast())
        return ended();  // nothing left to probe in this group
    if (++probes_ > ProbeLimit) {
        qCWarning(logSession, "no article in %d numbers after %lld in %s: the group ends here", ProbeLimit,
                  static_cast<long long>(currentArticle_ - ProbeLimit), groupName_.c_str());
        return ended();
    }
    currentArticle_ += 1;
    view_.setPanelText(SessionView::panelArticle, LookingText);
    stat(currentArticle_, stepExamining);
    return commandSent;
}

GroupWalker::Outcome ArticleWalk::examine()
{
    currentArticle_ = client_.ArticleNumber();
    probes_ = 0;
    if (cacheTest(client_.ArticleID()))
        return walkOn();
    askSize(ArticleSizeCheck::LinesHeader, currentArticle_);
    return commandSent;
}

GroupWalker::Outcome ArticleWalk::walkOn()
{
    const std::int64_t number = client_.ArticleNumber();
    if (number >= client_.ArticleLast())
        return ended();
    if (number == -1)
        throw SessionStepError("no article selected to walk on from");
    next();
    return commandSent;
}

GroupWalker::Outcome ArticleWalk::sizeDecided(std::uint16_t error)
{
    switch (sizeCheck_.finish(error, SessionSettings::minimumKB(view_))) {
    case ArticleSizeCheck::sizeMalformed:
        pendingId_.clear();  // judged: a broken article stays skipped in later runs too
        throw SessionStepError("size reply is not a number");
    case ArticleSizeCheck::sizeAskMetadata:
        askSize(ArticleSizeCheck::LinesMetadata, sizeCheck_.number());
        return commandSent;
    case ArticleSizeCheck::sizeDecided:
        break;
    }
    if (!sizeCheck_.SizeAccepted) {
        pendingId_.clear();  // skipped by size: handled
        counts_.skipped += 1;
        progress_.done(sizeCheck_.number());
        return walkOn();
    }
    fetch(sizeCheck_.number());
    return commandSent;
}

GroupWalker::Outcome ArticleWalk::moved()
{
    if (client_.ArticleNumber() == -1)
        throw SessionStepError("NEXT named no article");
    if (client_.ArticleNumber() <= currentArticle_) {
        // A server that does not move forward would be asked forever.
        qCWarning(logSession, "NEXT answered %lld after %lld: the group %s ends here",
                  static_cast<long long>(client_.ArticleNumber()), static_cast<long long>(currentArticle_),
                  groupName_.c_str());
        return groupEnded;
    }
    currentArticle_ = client_.ArticleNumber();
    ordinal_ += 1;
    showArticlePanel();
    if (cacheTest(client_.ArticleID()))
        return walkOn();
    askSize(ArticleSizeCheck::LinesHeader, currentArticle_);
    return commandSent;
}

bool ArticleWalk::messageLine(const std::string& line)
{
    return step_ == stepFetching && fetch_.line(line, view_);
}

bool ArticleWalk::headerLine(const std::string& line)
{
    if (step_ == stepSeeking)
        return seek_.line(line);
    if (step_ == stepSizeQuery)
        sizeCheck_.line(line, SessionSettings::minimumKB(view_), SessionSettings::maximumKB(view_));
    return false;
}

void ArticleWalk::messageEnded()
{
    if (step_ == stepFetching)
        fetch_.ended();
}

GroupWalker::Outcome ArticleWalk::ended()
{
    progress_.finished();
    return groupEnded;
}

void ArticleWalk::interrupted()
{
    progress_.save();
    resumeWanted_ = true;
    forgetPendingArticle();
    sizeStream_.reset();
    fetch_.drop();
    setStep(stepIdle);
}

// ---- commands ---------------------------------------------------------------------------

void ArticleWalk::stat(std::int64_t number, Step step)
{
    setStep(step);
    client_.StatByNumber(number);
}

void ArticleWalk::next()
{
    setStep(stepMoving);
    client_.Next();
}

void ArticleWalk::askSize(const std::string& header, std::int64_t number)
{
    sizeStream_ = std::make_unique<MemoryStream>();
    sizeCheck_.begin(header, number);
    setStep(stepSizeQuery);
    client_.XHdr(sizeStream_.get(), header, std::to_string(number));
}

void ArticleWalk::askSeek()
{
    setStep(stepSeeking);
    client_.XHdr(nullptr, ArticleSeek::Header, seek_.range());  // the lines are taken one by one
}

void ArticleWalk::fetch(std::int64_t number)
{
    setStep(stepFetching);
    fetches_ += 1;
    client_.ArticleByNumber(number, fetch_.begin(sizeCheck_.ArticleLines));
}

// ---- helpers ----------------------------------------------------------------------------

bool ArticleWalk::cacheTest(const std::string& id)
{
    const bool known = cache_.testAndEnter(id, SessionSettings::articleCache(view_));
    pendingId_ = known ? std::string() : id;
    counts_.scanned += 1;
    if (known) {
        counts_.skipped += 1;
        progress_.done(currentArticle_);
    }
    return known;
}

void ArticleWalk::forgetPendingArticle()
{
    if (!pendingId_.empty())
        cache_.forget(pendingId_);
    pendingId_.clear();
}

void ArticleWalk::showArticlePanel()
{
    view_.setPanelText(SessionView::panelArticle,
                       "Article: " + std::to_string(ordinal_) + " of " + std::to_string(client_.ArticleEstimated()));
}

} // namespace nimbra
