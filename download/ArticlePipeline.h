#pragma once

#include "download/ArticleFetch.h"
#include "download/FetchQueue.h"
#include "net/NntpClient.h"

#include <cstdint>
#include <deque>
#include <string>

namespace nimbra {

// The ARTICLE requests one connection has on the wire, oldest first, each with the article it
// is read into and the queue generation it was asked for in. fill() asks for waiting articles of
// the queue up to the client's pipeline window; the client's reports come in the order sent and
// report() matches each with its request; reading() is the one whose lines the client is
// delivering now. One per connection; the client and the queue must outlive the calls.
class ArticlePipeline {
public:
    struct InFlight {
        std::int64_t number = 0;
        unsigned generation = 0;
        ArticleFetch fetch;
        bool reported = false;
    };

    // Asks for waiting articles among the queue's first horizon until the window is full;
    // returns how many were asked for.
    int fill(NntpClient& client, FetchQueue& queue, FetchQueue::Horizon horizon, int lane);
    // The request whose reply the client is reading now; null between replies.
    InFlight* reading(const NntpClient& client);
    // The oldest request not reported yet, now reported; null when none is out.
    InFlight* report();
    // A reported article request: a whole article or one over the size limit settles its
    // article in the queue (true); any other end leaves it to the caller.
    static bool settleTaken(InFlight& request, FetchQueue& queue, std::uint16_t error, const std::string& groupName,
                            std::uint64_t limit);

    bool empty() const { return requests_.empty(); }
    std::size_t size() const { return requests_.size(); }
    InFlight& oldest() { return requests_.front(); }
    const InFlight& oldest() const { return requests_.front(); }
    void popOldest() { requests_.pop_front(); }
    void clear() { requests_.clear(); }
    // The connection is gone: every article of the queue's generation still on this
    // connection's wire goes back to waiting, the oldest of them counted as being read.
    void giveBack(FetchQueue& queue);

private:
    std::deque<InFlight> requests_;
};

} // namespace nimbra
