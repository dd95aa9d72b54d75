#pragma once

#include "net/NntpClient.h"

#include <cstdint>

namespace nimbra {

// One way of walking a selected group. The run controller selects the group, picks the walker
// for it and hands over; the walker sends its commands on the controller's client (one at a
// time, save for article requests sent through the client's pipeline window, whose reports come
// in the order sent) and says when the group is over. Every call is made on the session's thread from its event
// handlers, for the group entered last; a call may throw, which the controller handles like a
// stalled connection (interrupted(), then a new connection and enter() again).
class GroupWalker {
public:
    enum Outcome {
        commandSent,  // a command (or several) is out; each reply comes back through replied()
        groupEnded,   // nothing is left in this group; no command is out
        notOffered,   // the server lacks what this walker needs; no command is out and the
                      // group is to be walked another way
    };
    // What the walk is waiting for, for display and tests.
    enum Step { stepIdle, stepExamining, stepPassing, stepSizeQuery, stepFetching, stepMoving, stepSeeking };

    // What the walk of the group did so far: articles looked at, fetched whole, and passed
    // over by the cache, the size limits or the subject filters. Zero after leaveGroup().
    struct Counts {
        std::int64_t scanned = 0, fetched = 0, skipped = 0;
    };

    virtual ~GroupWalker() = default;

    // A run starts: nothing of the previous run carries over.
    virtual void startRun() = 0;
    // The run is over (ended, stopped or refused): whatever the walk keeps open for the run is
    // let go.
    virtual void endRun() {}
    // The run moves on to another group: the next enter() starts it from its beginning.
    virtual void leaveGroup() = 0;
    // The group was selected (the client holds its numbers); groupName is the entry walked.
    // After interrupted() this resumes where the walk stood.
    virtual Outcome enter(int groupIndex, const std::string& groupName) = 0;
    // A request finished. takeArticle() comes first, for every request, also on a connection
    // that closed afterwards: an article that arrived whole is handed on there. replied()
    // follows only while the connection lives.
    virtual void takeArticle(NntpRequest rqType, std::uint16_t error) = 0;
    virtual Outcome replied(NntpRequest rqType, std::uint16_t error) = 0;
    // Lines of a block reply; each is true for a line that is progress (a body line, a line
    // of a header listing that the walk takes), which holds the watchdog off.
    virtual bool messageLine(const std::string& line) = 0;
    virtual bool headerLine(const std::string& line) = 0;
    virtual void messageEnded() = 0;
    // One line of an overview reply (the client's parsed line, valid during the call); true for
    // a line the walk takes (a number of its block not seen before), which holds the watchdog
    // off: lines repeated or out of the block without end are a stall. A walk that asks for no
    // overview ignores them.
    virtual bool overviewLine(const OverviewLine&) { return false; }
    // The connection was given up (stall, failure, Stop): what was pending is forgotten, so
    // a later run or the resume looks at it again.
    virtual void interrupted() = 0;
    // Names the article this connection is fetching (the oldest it asked for): another value
    // for another article, 0 when none.
    virtual std::int64_t fetchKey() const = 0;
    // The size in lines announced for the article being fetched; 0 when unknown.
    virtual std::int64_t fetchLines() const = 0;
    // The article number the walk has reached (0 before the first).
    virtual std::int64_t reached() const = 0;
    virtual Step step() const = 0;
    virtual const Counts& counts() const = 0;
};

} // namespace nimbra
