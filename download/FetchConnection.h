#pragma once

#include "download/ArticlePipeline.h"
#include "download/ConnectionSetup.h"
#include "download/ReconnectBackOff.h"
#include "download/RunWatchdog.h"
#include "net/NntpClient.h"

#include <QTimer>

#include <string>

namespace nimbra {

class FetchPool;
class SessionView;

// One more connection to the run's server that only fetches articles: it connects when the
// pool has articles waiting, is set up as the session's connection is (ConnectionSetup:
// capabilities, login, compression; TLS as on the session's connection), selects the group
// being walked and keeps up to the pipeline window of ARTICLE requests on the wire, settling
// each article in the pool's queue as its reply ends.
//
// Its own watchdog and article deadline give a stalled connection up; then, and after a close,
// its unanswered articles go back to the queue and it connects again after a back-off (at
// once, then 1 s doubling to 60 s until an article arrives). A connection that is refused, or
// whose greeting, login or group is answered 400, 481 or 502 (the server's "too many
// connections"), is closed and not opened again in this run.
//
// Lives on the session's thread; the pool must outlive it. One state variable (LaneState),
// changed only in setState().
class FetchConnection {
public:
    enum LaneState { laneDown, laneBackingOff, laneConnecting, laneOpening, laneSelecting, laneReady, laneQuitting, laneRefused };

    FetchConnection(FetchPool& pool, int lane);
    ~FetchConnection();
    FetchConnection(const FetchConnection&) = delete;
    FetchConnection& operator=(const FetchConnection&) = delete;

    // A run starts with these settings; millisecondsPerSecond as the session's.
    void startRun(const SessionView& view, int millisecondsPerSecond);
    // There may be work: connects when down and articles wait, selects the pool's group, or
    // asks for articles.
    void work();
    // The run is over: QUIT when the connection is idle, else it is dropped.
    void endRun();

    LaneState state() const { return state_; }
    // Set up, or being set up, and not refused for the run.
    bool working() const { return state_ >= laneConnecting && state_ <= laneReady; }
    bool refused() const { return state_ == laneRefused; }
    // The server does not want this connection (reason for the log): closed for the rest of
    // the run.
    void refuse(const std::string& reason);

private:
    void requestDone(NntpRequest rqType, std::uint16_t error);
    void opened(NntpRequest rqType, std::uint16_t error);
    void articleDone(std::uint16_t error);
    void messageLine();
    void connect();
    void setupNext();
    // Gives the connection up (reason for the log); its articles go back to the queue and it
    // connects again after the back-off.
    void lost(const std::string& reason);
    void dropConnection();
    void followArticle();
    void setState(LaneState state) { state_ = state; }
    template <class Step> void guarded(Step&& step);

    FetchPool& pool_;
    const int lane_;
    NntpClient client_;
    ConnectionSetup setup_{client_, false};
    ArticlePipeline pipeline_;
    RunWatchdog watchdog_;
    ReconnectBackOff backOff_;
    QTimer backOffTimer_;
    LaneState state_ = laneDown;
    std::string group_;  // selected on this connection
    int millisecondsPerSecond_ = 1000;
};

} // namespace nimbra
