#pragma once

#include "platform/MemoryStream.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace nimbra {

// The articles of an overview block chosen for fetching, in number order, while they are on
// the wire of one or more connections. An article is waiting (to be asked for), on the wire of
// one connection, or settled with its outcome; a whole article waits here for its turn until
// every article before it is settled and handed on, so what reaches the sink comes in number
// order however the replies arrive. Only the first articles of a Horizon are handed out, and of
// those only as many as announce MaxBytesAhead together (but always one for each connection),
// which bounds the whole articles held in number and in memory: fifty connections of sixteen
// large parts each would otherwise hold some GB, and four held fresh memory for 64 parts.
//
// clear() starts a new generation: a connection holding numbers of an older one drops their
// replies (find() gives nothing for them). One thread; not copyable.
class FetchQueue {
public:
    enum State { waiting, onWire, settled };
    enum Outcome {
        whole,     // arrived whole; article holds it
        tooLarge,  // refused by the client's size limit: skipped
        gone,      // the server no longer has it: as good as skipped
        givenUp,   // failed, or stalled too often: passed over, the mark stays before it
    };
    struct Slot {
        std::int64_t number = 0;
        std::string id;          // in the message-id cache; forgotten when not finished
        std::int64_t lines = 0;  // announced size; 0 when unknown
        std::int64_t bytes = 0;
        State state = waiting;
        Outcome outcome = givenUp;
        std::unique_ptr<MemoryStream> article;
        int lane = -1;   // the connection it is on the wire of
        int stalls = 0;  // connections lost while it was being read
    };

    // How far articles are handed out: among the first `articles` (the connections times the
    // pipeline window), and of those the first `connections` whatever their bytes.
    struct Horizon {
        Horizon(std::size_t articles, std::size_t connections = 1) : articles(articles), connections(connections) {}
        std::size_t articles;
        std::size_t connections;
    };

    void clear();
    unsigned generation() const { return generation_; }
    void add(std::int64_t number, std::string id, std::int64_t lines, std::int64_t bytes = 0);
    bool empty() const { return slots_.empty(); }
    std::size_t size() const { return slots_.size(); }
    Slot& front() { return slots_.front(); }
    const Slot& at(std::size_t index) const { return slots_[index]; }
    void popFront() { slots_.pop_front(); }

    // The first waiting article among the first horizon, now on the wire of lane; null when
    // none is waiting there.
    Slot* take(Horizon horizon, int lane) { return takeWithin(reach(horizon), lane); }
    // The same among the first reach slots, for a caller that has reach(horizon) at hand.
    Slot* takeWithin(std::size_t reach, int lane);
    // The article of that number in this generation, or null.
    Slot* find(std::int64_t number, unsigned generation);
    void settle(Slot& slot, Outcome outcome, std::unique_ptr<MemoryStream> article = {});
    // Back to waiting: its connection was lost before it had a whole reply. When it was the one
    // being read, it counts a stall; after MaximumStalls it is given up.
    void giveBack(Slot& slot, bool wasBeingRead);
    static constexpr int MaximumStalls = 2;

    static constexpr std::int64_t MaxBytesAhead = std::int64_t{32} << 20;

    // Articles on the wire of any connection, and those waiting within the horizon.
    std::size_t onWireCount() const;
    bool waitingWithin(Horizon horizon) const;

    // How many of the first slots may be on the wire or held: within the horizon and the bytes.
    std::size_t reach(Horizon horizon) const;

private:
    std::deque<Slot> slots_;
    unsigned generation_ = 0;
};

} // namespace nimbra
