#include "download/FetchQueue.h"

#include "download/ArticleSizeCheck.h"

#include <algorithm>

namespace nimbra {

void FetchQueue::clear()
{
    slots_.clear();
    ++generation_;
}

void FetchQueue::add(std::int64_t number, std::string id, std::int64_t lines, std::int64_t bytes)
{
    Slot slot;
    slot.number = number;
    slot.id = std::move(id);
    slot.lines = lines;
    slot.bytes = bytes;
    slots_.push_back(std::move(slot));
}

std::size_t FetchQueue::reach(Horizon horizon) const
{
    const std::size_t end = std::min(horizon.articles, slots_.size());
    std::int64_t ahead = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const Slot& slot = slots_[i];
        // The overview's bytes, else its lines at the size rule's rate; nothing when unknown.
        ahead += slot.bytes > 0 ? slot.bytes : std::max<std::int64_t>(slot.lines, 0) * 1024 / ArticleSizeCheck::LinesPerKB;
        if (i >= std::max<std::size_t>(1, horizon.connections) && ahead > MaxBytesAhead)
            return i;
    }
    return end;
}

FetchQueue::Slot* FetchQueue::takeWithin(std::size_t reach, int lane)
{
    const std::size_t end = std::min(reach, slots_.size());
    for (std::size_t i = 0; i < end; ++i) {
        Slot& slot = slots_[i];
        if (slot.state != waiting)
            continue;
        slot.state = onWire;
        slot.lane = lane;
        return &slot;
    }
    return nullptr;
}

FetchQueue::Slot* FetchQueue::find(std::int64_t number, unsigned generation)
{
    if (generation != generation_)
        return nullptr;
    const auto found = std::lower_bound(slots_.begin(), slots_.end(), number,
                                        [](const Slot& slot, std::int64_t n) { return slot.number < n; });
    return found != slots_.end() && found->number == number ? &*found : nullptr;
}

void FetchQueue::settle(Slot& slot, Outcome outcome, std::unique_ptr<MemoryStream> article)
{
    slot.state = settled;
    slot.outcome = outcome;
    slot.article = std::move(article);
    slot.lane = -1;
}

void FetchQueue::giveBack(Slot& slot, bool wasBeingRead)
{
    if (slot.state != onWire)
        return;
    slot.lane = -1;
    slot.state = waiting;
    if (wasBeingRead && ++slot.stalls >= MaximumStalls)
        settle(slot, givenUp);
}

std::size_t FetchQueue::onWireCount() const
{
    return static_cast<std::size_t>(std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.state == onWire; }));
}

bool FetchQueue::waitingWithin(Horizon horizon) const
{
    const std::size_t end = reach(horizon);
    for (std::size_t i = 0; i < end; ++i)
        if (slots_[i].state == waiting)
            return true;
    return false;
}

} // namespace nimbra
