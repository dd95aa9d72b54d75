#pragma once

#include "download/ArticleFetch.h"
#include "download/GroupWalker.h"
#include "download/OverviewBlockSize.h"
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
// next block (its size following the bytes of the last reply, OverviewBlockSize). The ARTICLE commands go out through the client's pipeline window: up to that many
// are on the wire at once, so a round trip is not paid per article; replies come back in the
// order sent, and each whole article goes to the sink as it completes. Numbers without an article simply do not appear. A block holds at most
// the block size of numbers, so memory stays bounded however large or hostile the group; lines
// outside the block, out of order or unreadable are passed over.
//
// The mark moves past each article in number order once it is skipped or saved, and past the
// whole block once the block is over. After an interruption the walk asks the overview again
// from the first article it had not finished, so every article that had no complete reply is
// asked for again (those behind it in the pipeline too) and none that was saved is asked
// twice; an article that was being read at two interruptions in a row is walked past (and
// holds the mark for the rest of the group).
//
// The client, view, cache and progress are the controller's and must outlive the walk.
class OverviewWalk : public GroupWalker {
public:
    OverviewWalk(NntpClient& client, SessionView& view, MessageIdCache& cache, GroupProgress& progress);

    void setArticleSink(ArticleSink* sink) { sink_ = sink; }
    // Numbers asked per overview request: fixed at size, or (0) following the replies.
    void setBlockSize(std::int64_t size) { blockSize_.fix(size); }
    std::int64_t blockSize() const { return blockSize_.size(); }

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
    // Of the oldest article on the wire: the next to arrive whole.
    std::int64_t fetchLines() const override { return sent_.empty() ? 0 : sent_.front().fetch.lines(); }

    const Counts& counts() const override { return counts_; }

private:
    struct Entry {
        std::int64_t number;
        std::string id;       // entered in the cache; forgotten again if not finished
        std::int64_t lines;   // 0 when unknown
    };
    // An ARTICLE on the wire, for the entry at the same place in entries_.
    struct Sent {
        ArticleFetch fetch;
        bool reported = false;   // its request has ended (takeArticle)
        bool delivered = false;  // settled: it arrived whole and went to the sink, or was too large
    };

    Outcome scanFrom(std::int64_t number);
    Outcome work();
    // Sends ARTICLE for the entries not yet sent, up to the client's pipeline window.
    void send();
    // The fetch whose reply the client is reading now; null between replies.
    Sent* reading();
    Outcome ended();
    bool chosen(const OverviewLine& line);
    static std::string idOf(const OverviewLine& line);
    // The oldest entry is finished with: done (skipped or saved) or given up (the mark stays
    // before it). Its fetch, if it was sent, goes with it.
    void finishEntry(bool done);
    void showArticlePanel();
    void setStep(Step step) { step_ = step; }

    NntpClient& client_;
    SessionView& view_;
    MessageIdCache& cache_;
    GroupProgress& progress_;
    ArticleSink* sink_ = nullptr;
    SubjectFilter filter_;

    Step step_ = stepIdle;
    int groupIndex_ = 0;
    std::string groupName_;
    bool resumeWanted_ = false;
    OverviewBlockSize blockSize_;
    std::int64_t replyBytes_ = 0;  // of the overview reply being read
    std::int64_t next_ = 0;        // the first number not yet finished with
    std::int64_t blockLast_ = 0;   // last number of the block being scanned or worked
    std::int64_t lastSeen_ = 0;    // highest number taken from the block's overview
    std::deque<Entry> entries_;    // chosen in the block and not finished, in number order
    std::deque<Sent> sent_;        // for the first entries, oldest first: sent and not finished
    std::int64_t stalledAt_ = 0;   // the article being read at the last interruption
    int stalls_ = 0;
    long minimumKB_ = 0, maximumKB_ = 0, cacheSize_ = 0;
    Counts counts_;
};

} // namespace nimbra
