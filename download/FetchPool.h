#pragma once

#include "download/FetchConnection.h"
#include "download/FetchQueue.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nimbra {

class NntpClient;
class SessionView;
class TransferRate;

// The connections beyond the session's own that fetch the articles of an overview block:
// "Connections" less one FetchConnection, sharing the walk's FetchQueue with the session's
// connection. Articles are handed out only among the queue's first horizon() (the connections
// not refused, the session's included, times the pipeline window), which bounds the whole
// articles waiting for their turn.
//
// OnChanged fires (from the event loop, never from inside a call of the walk) after articles
// settled or went back to waiting; OnProgress after a line arrived on any of the connections.
// The session's client, the queue and the rate are not owned and must outlive the pool; the
// session's thread.
class FetchPool {
public:
    FetchPool(NntpClient& main, FetchQueue& queue, TransferRate& rate);
    ~FetchPool();
    FetchPool(const FetchPool&) = delete;
    FetchPool& operator=(const FetchPool&) = delete;

    // A run starts with the view's "Connections" (the session's connection is one of them).
    void startRun(const SessionView& view, int millisecondsPerSecond);
    void endRun();
    // The group whose articles the queue holds.
    void setGroup(const std::string& name) { group_ = name; }
    const std::string& group() const { return group_; }
    // Lets every connection take waiting articles (connecting the ones that are down).
    void dispatch();
    // Closes the last connection that is working for the rest of the run, so that the
    // session's own can take its place; false when none is working.
    bool makeRoom();

    FetchQueue::Horizon horizon() const;
    // Connections of the run beyond the session's.
    int lanes() const { return static_cast<int>(lanes_.size()); }
    // Connections set up or being set up, the session's included.
    int working() const;

    std::function<void()> OnChanged;
    std::function<void()> OnProgress;

    // For the connections.
    FetchQueue& queue() { return queue_; }
    NntpClient& mainClient() { return main_; }
    void changed();
    void received(std::size_t bytes);
    void laneRefused(int lane, const std::string& reason);

private:
    NntpClient& main_;
    FetchQueue& queue_;
    TransferRate& rate_;
    std::vector<std::unique_ptr<FetchConnection>> lanes_;
    std::string group_;
    QTimer notify_;
};

} // namespace nimbra
