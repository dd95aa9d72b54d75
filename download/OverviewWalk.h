#pragma once

#include "download/ArticlePipeline.h"
#include "download/FetchPool.h"
#include "download/FetchQueue.h"
#include "download/GroupWalker.h"
#include "download/OverviewBlockSize.h"
#include "download/SubjectFilter.h"

#include <cstdint>
#include <functional>
#include <string>

namespace nimbra {

class ArticleSink;
class GroupProgress;
class MessageIdCache;
class SessionView;
class TransferRate;

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
// With "Connections" above one, the chosen articles are fetched over the session's connection
// and the pool's (FetchPool) at once, through one FetchQueue: whatever order the replies come
// in, the articles reach the sink, the counts and the mark in number order, as over one
// connection. A connection of the pool that is lost gives its articles back to the queue; the
// session's connection lost starts the block again from the first unfinished article, as
// above. The block's next overview is asked once every article of the block is finished.
//
// The client, view, cache, progress and rate are the controller's and must outlive the walk.
class OverviewWalk : public GroupWalker {
public:
    OverviewWalk(NntpClient& client, SessionView& view, MessageIdCache& cache, GroupProgress& progress,
                 TransferRate& rate);

    // The pool's connections settled articles or gave them back (called from the event loop):
    // the controller calls poolChanged() on the walk it is walking with, guarded as a step.
    std::function<void()> OnPoolChanged;
    // A line arrived on a pool connection while the session's connection has no article
    // asked: the walk is making progress.
    std::function<void()> OnPoolProgress;
    // Hands on what the pool settled; groupEnded when that finished the group's last block.
    Outcome poolChanged();
    void setMillisecondsPerSecond(int milliseconds) { millisecondsPerSecond_ = milliseconds; }
    // The session's connection was refused as one too many: one of the pool's connections is
    // closed for the run to make room; false when the pool has none open.
    bool makeRoom() { return pool_.makeRoom(); }

    void setArticleSink(ArticleSink* sink) { sink_ = sink; }
    // Numbers asked per overview request: fixed at size, or (0) following the replies.
    void setBlockSize(std::int64_t size) { blockSize_.fix(size); }
    std::int64_t blockSize() const { return blockSize_.size(); }

    void startRun() override;
    void endRun() override { pool_.endRun(); }
    void leaveGroup() override;
    Outcome enter(int groupIndex, const std::string& groupName) override;
    void takeArticle(NntpRequest rqType, std::uint16_t error) override;
    Outcome replied(NntpRequest rqType, std::uint16_t error) override;
    bool messageLine(const std::string& line) override;
    bool headerLine(const std::string&) override { return false; }
    void messageEnded() override;
    bool overviewLine(const OverviewLine& line) override;
    void interrupted() override;
    std::int64_t reached() const override { return next_; }
    Step step() const override { return step_; }
    // Of the oldest article on the wire: the next to arrive whole.
    std::int64_t fetchKey() const override { return main_.empty() ? 0 : main_.oldest().number; }
    std::int64_t fetchLines() const override { return main_.empty() ? 0 : main_.oldest().fetch.lines(); }

    const Counts& counts() const override { return counts_; }

private:
    static constexpr int MainLane = 0;

    Outcome scanFrom(std::int64_t number);
    Outcome work();
    // Asks for waiting articles on the session's connection, up to its pipeline window, and
    // lets the pool's connections take theirs.
    void send();
    // Hands on the settled articles at the front of the queue, in number order.
    void drain();
    Outcome ended();
    bool chosen(const OverviewLine& line);
    static std::string idOf(const OverviewLine& line);
    // The front article is finished with: done (skipped or saved) or given up (the mark stays
    // before it).
    void finishFront(bool done);
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
    std::int64_t countedTo_ = 0;   // highest number counted as scanned in this group
    FetchQueue queue_;             // chosen in the block and not finished, in number order
    ArticlePipeline main_;         // the ARTICLE requests on the session's connection
    FetchPool pool_;
    int millisecondsPerSecond_ = 1000;
    std::int64_t stalledAt_ = 0;   // the article being read at the last interruption
    int stalls_ = 0;
    long minimumKB_ = 0, maximumKB_ = 0, cacheSize_ = 0;
    Counts counts_;
};

} // namespace nimbra
