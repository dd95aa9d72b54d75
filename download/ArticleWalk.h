#pragma once

#include "download/ArticleFetch.h"
#include "download/ArticleSeek.h"
#include "download/ArticleSizeCheck.h"
#include "download/GroupWalker.h"
#include "platform/MemoryStream.h"

#include <cstdint>
#include <memory>
#include <string>

namespace nimbra {

class ArticleSink;
class GroupProgress;
class MessageIdCache;
class SessionView;

// The article-by-article walk of a group: STAT of the first article, then for each article the
// cache test, XHDR of its size, ARTICLE when it passes, and NEXT to the following one. After a
// number without an article (423) the next existing one is looked for by ranges of numbers
// (ArticleSeek); a server that refuses that is probed one number at a time with STAT, at most
// ProbeLimit numbers past the last article found. After an interruption the walk
// looks at the article it had reached once more, and walks past it when it is interrupted
// there a second time.
//
// The walk starts at the first article above the group's mark (GroupProgress) and tells the
// progress of every article it is done with; an article it walks past unfinished (fetch refused,
// stalled twice) holds the mark for the rest of the group.
//
// The client, view, cache and progress are the controller's and must outlive the walk; the
// sink may be null (articles are then dropped once fetched).
class ArticleWalk : public GroupWalker {
public:
    static constexpr int ProbeLimit = 100;

    ArticleWalk(NntpClient& client, SessionView& view, MessageIdCache& cache, GroupProgress& progress);

    void setArticleSink(ArticleSink* sink) { sink_ = sink; }

    void startRun() override;
    void leaveGroup() override;
    Outcome enter(int groupIndex, const std::string& groupName) override;
    void takeArticle(NntpRequest rqType, std::uint16_t error) override;
    Outcome replied(NntpRequest rqType, std::uint16_t error) override;
    bool messageLine(const std::string& line) override;
    bool headerLine(const std::string& line) override;
    void messageEnded() override;
    void interrupted() override;
    std::int64_t reached() const override { return currentArticle_; }
    Step step() const override { return step_; }
    std::int64_t fetchKey() const override { return step_ == stepFetching ? fetches_ : 0; }
    std::int64_t fetchLines() const override { return fetch_.lines(); }
    const Counts& counts() const override { return counts_; }

private:
    // Transitions; each sends one command or ends the group.
    Outcome resume();
    Outcome examine();
    Outcome lookFurther();
    Outcome sought(std::uint16_t error);
    Outcome probe();
    Outcome walkOn();
    Outcome sizeDecided(std::uint16_t error);
    Outcome moved();
    Outcome ended();

    // Commands; each sets the step it leads to.
    void stat(std::int64_t number, Step step);
    void next();
    void askSize(const std::string& header, std::int64_t number);
    void askSeek();
    void fetch(std::int64_t number);
    void setStep(Step step) { step_ = step; }

    bool cacheTest(const std::string& id);
    void forgetPendingArticle();
    void showArticlePanel();

    NntpClient& client_;
    SessionView& view_;
    MessageIdCache& cache_;
    GroupProgress& progress_;
    ArticleSink* sink_ = nullptr;

    Step step_ = stepIdle;
    std::int64_t fetches_ = 0;  // articles asked for: the key of the one being fetched
    bool resumeWanted_ = false;      // interrupted: the next enter() looks at currentArticle_ again
    std::int64_t currentArticle_ = 0; // the article reached, and the number probed next after a 423
    std::int64_t retried_ = 0;       // the article reached that has been given its second look
    std::int64_t ordinal_ = 0;       // of the current article within the group, shown in the panel
    int groupIndex_ = 0;
    std::string groupName_;

    std::unique_ptr<MemoryStream> sizeStream_;  // the size reply
    ArticleFetch fetch_;                        // the article being fetched
    std::string pendingId_;  // entered in the cache, not yet skipped by size or fetched whole
    ArticleSizeCheck sizeCheck_;
    ArticleSeek seek_;
    bool seekRefused_ = false;  // the server would not list a range in this run: STAT probes
    int probes_ = 0;            // numbers probed since the last article found
    Counts counts_;
};

} // namespace nimbra
