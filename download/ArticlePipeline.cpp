#include "download/ArticlePipeline.h"

#include "download/SessionReply.h"

#include <algorithm>
#include <limits>

namespace nimbra {

int ArticlePipeline::fill(NntpClient& client, FetchQueue& queue, FetchQueue::Horizon horizon, int lane)
{
    // When fewer articles may be held than the connections' windows hold (the bytes ahead
    // bound them, or the group is near its end), each connection keeps its share of them on
    // its wire, so that none takes a run of articles the others then wait behind. The few
    // articles near a group's end that one window holds go on one connection, which opens no
    // more; articles bound by their bytes are always shared, one for each connection at least.
    const std::size_t window = static_cast<std::size_t>(std::max(1, client.PipelineWindow()));
    const std::size_t lanes = std::max<std::size_t>(1, horizon.connections);
    const std::size_t reach = queue.reach(horizon);
    const bool boundByBytes = reach < std::min(horizon.articles, queue.size());
    const std::size_t share = boundByBytes || reach > window
        ? std::clamp<std::size_t>((reach + lanes - 1) / lanes, 1, window)
        : window;
    int sent = 0;
    while (requests_.size() < share) {
        FetchQueue::Slot* slot = queue.takeWithin(reach, lane);
        if (!slot)
            break;
        const auto lines = static_cast<std::int32_t>(std::min<std::int64_t>(slot->lines, std::numeric_limits<std::int32_t>::max()));
        requests_.emplace_back();
        InFlight& request = requests_.back();
        request.number = slot->number;
        request.generation = queue.generation();
        client.ArticleByNumber(slot->number, request.fetch.begin(lines, slot->bytes));
        ++sent;
    }
    return sent;
}

ArticlePipeline::InFlight* ArticlePipeline::reading(const NntpClient& client)
{
    // The client has ended the requests before the one it reads; their reports may still be
    // on their way, so they are counted from the back: the requests it still has under way
    // are the last of those sent.
    const std::size_t underWay = static_cast<std::size_t>(std::max(0, client.RequestsInFlight()));
    if (underWay == 0 || underWay > requests_.size())
        return nullptr;
    return &requests_[requests_.size() - underWay];
}

ArticlePipeline::InFlight* ArticlePipeline::report()
{
    const auto found = std::find_if(requests_.begin(), requests_.end(), [](const InFlight& r) { return !r.reported; });
    if (found == requests_.end())
        return nullptr;
    found->reported = true;
    return &*found;
}

bool ArticlePipeline::settleTaken(InFlight& request, FetchQueue& queue, std::uint16_t error, const std::string& groupName,
                                  std::uint64_t limit)
{
    FetchQueue::Slot* slot = queue.find(request.number, request.generation);
    if (request.fetch.tooLarge(error, request.number, groupName, limit)) {
        if (slot && slot->state == FetchQueue::onWire)
            queue.settle(*slot, FetchQueue::tooLarge);
        return true;
    }
    std::unique_ptr<MemoryStream> article = error == replySuccess ? request.fetch.takeWhole() : nullptr;
    request.fetch.drop();
    if (!article)
        return false;
    if (slot && slot->state == FetchQueue::onWire)
        queue.settle(*slot, FetchQueue::whole, std::move(article));
    return true;
}

void ArticlePipeline::giveBack(FetchQueue& queue)
{
    bool first = true;
    for (InFlight& request : requests_) {
        FetchQueue::Slot* slot = queue.find(request.number, request.generation);
        if (!slot || slot->state != FetchQueue::onWire)
            continue;
        queue.giveBack(*slot, first);
        first = false;
    }
    requests_.clear();
}

} // namespace nimbra
