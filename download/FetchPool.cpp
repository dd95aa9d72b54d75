#include "download/FetchPool.h"

#include "download/SessionSettings.h"
#include "download/TransferRate.h"
#include "net/NntpClient.h"
#include "platform/Log.h"

#include <algorithm>

namespace nimbra {

FetchPool::FetchPool(NntpClient& main, FetchQueue& queue, TransferRate& rate) : main_(main), queue_(queue), rate_(rate)
{
    notify_.setSingleShot(true);
    notify_.setInterval(0);
    QObject::connect(&notify_, &QTimer::timeout, [this] {
        if (OnChanged)
            OnChanged();
    });
}

FetchPool::~FetchPool()
{
    notify_.stop();
}

void FetchPool::startRun(const SessionView& view, int millisecondsPerSecond)
{
    const int wanted = SessionSettings::connections(view) - 1;
    while (static_cast<int>(lanes_.size()) > wanted)
        lanes_.pop_back();
    while (static_cast<int>(lanes_.size()) < wanted)
        lanes_.push_back(std::make_unique<FetchConnection>(*this, static_cast<int>(lanes_.size()) + 1));
    for (auto& lane : lanes_)
        lane->startRun(view, millisecondsPerSecond);
    rate_.setConnections(1);
}

void FetchPool::endRun()
{
    notify_.stop();
    for (auto& lane : lanes_)
        lane->endRun();
    rate_.setConnections(1);
}

void FetchPool::dispatch()
{
    for (auto& lane : lanes_)
        lane->work();
    rate_.setConnections(working());
}

bool FetchPool::makeRoom()
{
    for (auto lane = lanes_.rbegin(); lane != lanes_.rend(); ++lane)
        if ((*lane)->working()) {
            (*lane)->refuse("it makes room for the session's own connection, which the server refused");
            return true;
        }
    return false;
}

FetchQueue::Horizon FetchPool::horizon() const
{
    const auto open = std::count_if(lanes_.begin(), lanes_.end(), [](const auto& lane) { return !lane->refused(); });
    const auto connections = static_cast<std::size_t>(1 + open);
    return {connections * static_cast<std::size_t>(std::max(1, main_.PipelineWindow())), connections};
}

int FetchPool::working() const
{
    return 1 + static_cast<int>(std::count_if(lanes_.begin(), lanes_.end(), [](const auto& lane) { return lane->working(); }));
}

void FetchPool::changed()
{
    rate_.setConnections(working());
    if (!notify_.isActive())
        notify_.start();
}

void FetchPool::received(std::size_t bytes)
{
    rate_.add(bytes);
    if (OnProgress)
        OnProgress();
}

void FetchPool::laneRefused(int lane, const std::string& reason)
{
    const auto open = std::count_if(lanes_.begin(), lanes_.end(), [](const auto& l) { return !l->refused(); });
    qCWarning(logSession, "connection %d to %s:%s closed for this run: %s; the run goes on with %lld connections", lane,
              main_.Host().c_str(), main_.Port().c_str(), reason.c_str(), static_cast<long long>(open + 1));
    changed();
}

} // namespace nimbra
