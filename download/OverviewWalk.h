#pragma once

#include "download/ArticleFetch.h"
#include "download/GroupWalker.h"
#include "download/SubjectFilter.h"

#include <cstdint>
#include <deque>
#include <string>

namespace nimbra {

class ArticleSink;
class GroupProgress;
class MessageIdCache;
class SessionView;

// The overview walk of a group: the overview (OVER or XOVER, after the server's overview format
// once per connection) for a block of article numbers above the group's mark,
// a decision for every overview line without another round trip (message-id cache, size
// limits from the lines field, subject filters), then ARTICLE for each article chosen, and the
// next block. Numbers without an article simply do not appear. A block holds at most
// the block size of numbers, so memory stays bounded however large or hostile the group; lines
// outside the block, out of order or unreadable are passed over.
//
// The mark moves past each article in number order once it is skipped or saved, and past the
// whole block once the block is over. After an interruption the walk asks the overview again
// from the first article it had not finished, so every article that had no complete reply is
// asked for again; an article that was being fetched at two interruptions in a row is walked
// past (and holds the mark for the rest of the group).
//
// The client, view, cache and progress are the controller's and must outlive the walk.
class OverviewWalk : public GroupWalker {
public:
    // Numbers asked per XOVER: with overview lines of a few hundred bytes, a reply of one to
    // two MB.
    static constexpr std::int64_t DefaultBlockSize = 5000;

    OverviewWalk(NntpClient& client, SessionView& view, MessageIdCache& cache, GroupProgress& progress);

    void setArticleSink(ArticleSink* sink) { sink_ = sink; }
    void setBlockSize(std::int64_t size) { blockSize_ = size > 0 ? size : DefaultBlockSize; }

    void startRun() override;
    void leaveGroup() override;
    Outcome enter(int groupIndex, const std::string& groupName) override;
    void takeArticle(NntpRequest rqType, std::uint16_t error) override;
    Outcome replied(NntpRequest rqType, std::uint16_t error) override;
    bool messageLine(const std::string& line) override;
    bool headerLine(const std::string&) override { return false; }
    void messageEnded() override;
    void overviewLine(const OverviewLine& line) override;
    void interrupted() override;
    std::int64_t reached() const override { return next_; }
    Step step() const override { return step_; }
    std::int64_t fetchLines() const override { return fetch_.lines(); }

    const Counts& counts() const override { return counts_; }

private:
    struct Entry {
        std::int64_t number;
        std::string id;       // entered in the cache; forgotten again if not finished
        std::int64_t lines;   // 0 when unknown
    };

    Outcome scanFrom(std::int64_t number);
    Outcome work();
    Outcome ended();
    bool chosen(const OverviewLine& line);
    static std::string idOf(const OverviewLine& line);
    void finishEntry(bool done);
    void showArticlePanel();
    void setStep(Step step) { step_ = step; }

    NntpClient& client_;
    SessionView& view_;
    MessageIdCache& cache_;
    GroupProgress& progress_;
    ArticleSink* sink_ = nullptr;
    ArticleFetch fetch_;
    SubjectFilter filter_;

    Step step_ = stepIdle;
    int groupIndex_ = 0;
    std::string groupName_;
    bool resumeWanted_ = false;
    std::int64_t blockSize_ = DefaultBlockSize;
    std::int64_t next_ = 0;        // the first number not yet finished with
    std::int64_t blockLast_ = 0;   // last number of the block being scanned or worked
    std::int64_t lastSeen_ = 0;    // highest number taken from the block's overview
    std::deque<Entry> entries_;    // of the block, in number order; the front is being fetched
    bool delivered_ = false;       // the front entry is settled: saved whole, or too large
    std::int64_t stalledAt_ = 0;   // the article being fetched at the last interruption
    int stalls_ = 0;
    long minimumKB_ = 0, maximumKB_ = 0, cacheSize_ = 0;
    Counts counts_;
};

} // namespace nimbra
