#pragma once

#include "download/ConnectionSetup.h"
#include "download/GroupProgress.h"
#include "download/MessageIdCache.h"
#include "download/ReconnectBackOff.h"
#include "download/RunWatchdog.h"
#include "download/WalkerChoice.h"
#include "download/TransferRate.h"
#include "net/NntpClient.h"

#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

namespace nimbra {

class ArticleSink;
class RunOutcome;
class GroupMarks;
class SessionView;

// The download run controller: one run connects, sets the connection up (ConnectionSetup:
// capabilities when the fast scan is chosen, login when credentials are given, compression),
// selects every selected entry of the newsgroup list box in list order, hands each group to a
// walker (GroupWalker) and quits when no selected group is left. The run is one state machine
// (RunState, changed only in setState()); every step is taken from a client event, which
// looks at the state to decide the single command to send next. A watchdog timer gives up a
// stalled connection and resumes the walk at the article where it stood; the countdown timer
// shows the seconds left in the fourth panel and, each second, the transfer rate in the fifth.
// An article must also arrive whole within its deadline (ArticleDeadline), so a server that
// drips lines cannot hold the run; one that does is given up like a stall. A connection closed by the server, refused, or
// given up is made again at once, then after 1 s doubling to 60 s until the walk moves forward
// again. A server that refuses the account or the connection itself ends the run with its
// reason (view, RunOutcome, log): every reconnect would meet the same answer. Only while the
// run's other connections are open and may be what the server counts (a greeting refused, or a
// login refused after one was taken in this run) one of them is closed to make room instead. With "Connections"
// above one the overview walk fetches over more connections of its own (FetchPool); their
// results come back here, on this thread, and are handed on in article order.
//
// Lives on the thread whose event loop runs the client and the timers (the window's). The view
// and the sink are not owned and must outlive the session. No handler lets an exception out.
class DownloadSession {
public:
    enum RunState {
        runIdle, runWaitingToReconnect, runConnecting, runOpening, runSelectingGroup, runWalking,
        runQuitting,
    };
    // What the run is doing, for display and tests: the run state, with the walker's step
    // while a group is walked. Derived, never stored.
    enum SessionPhase {
        phaseIdle, phaseConnecting, phaseOpening, phaseSelectingGroup,
        phaseSizeQuery, phaseFetching, phaseWalking, phaseQuitting,
    };

    explicit DownloadSession(SessionView& view);
    ~DownloadSession();
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;

    // "Get Files": starts a run. Ignored while a run is active.
    void bitbtn1Click();
    // "Stop": ends the run at once.
    void sendbtnClick() { stop({}); }
    // Ends the run at once because it cannot go on; the group panel shows "Stopped: " and the
    // reason (with no reason, as Stop).
    void stop(const std::string& reason);
    // A file of the run could not be saved (the reason worded for the user): the run's outcome
    // fails, the group panel shows it, and the run ends with it in that panel. stopRun: nothing
    // can be written at all, so the run stops once the current step is over.
    void saveFailed(const std::string& reason, bool stopRun);

    // The saving step; null keeps each fetched article only until it is released.
    void setArticleSink(ArticleSink* sink)
    {
        walkers_.setArticleSink(sink);
        progress_.setArticleSink(sink);
    }
    // Where a run that ends with an error reports its reason; may be null. Must outlive the session.
    void setRunOutcome(RunOutcome* outcome) { outcome_ = outcome; }
    // Milliseconds the watchdog, the countdown and the reconnect back-off count per second of the time-out field;
    // 1000 in the program, less in tests.
    void setMillisecondsPerSecond(int milliseconds)
    {
        millisecondsPerSecond_ = milliseconds;
        walkers_.overviewWalk().setMillisecondsPerSecond(milliseconds);
    }

    // SSL/TLS for the next run's connections, and the certificate the user accepted for the
    // server (empty: none). A certificate accepted during a run is kept here too.
    void setTls(bool enabled, const std::string& acceptedFingerprint);
    const std::string& tlsAcceptedFingerprint() const { return tlsAcceptedFingerprint_; }

    // Loaded and saved by the window ("mesagid"); kept between runs.
    MessageIdCache& messageIdCache() { return MessageIdCache_; }

    // The per-group marks a run starts from and moves on; none (the default) scans every group
    // from its first article. Not owned; set between runs, and it must outlive the session.
    void setGroupMarks(GroupMarks* marks) { progress_.setMarks(marks); }

    OverviewWalk& overviewWalk() { return walkers_.overviewWalk(); }

    RunState state() const { return state_; }
    SessionPhase phase() const;
    bool sessionActive() const { return state_ != runIdle; }
    std::int32_t countdown() const { return watchdog_.countdown(); }
    // Times the run gave a connection up (watchdog, failed step, close, refused connect).
    int watchdogExpiries() const { return expiries_; }
    // Seconds the next reconnect waits (0, then 1 doubling to 60; 0 again after progress).
    int reconnectDelaySeconds() const { return backOff_.seconds(); }

    // Called once when a run has ended (quit reply, Stop, or an unanswered QUIT), after the
    // buttons and panels show it; for the window to take the message-id cache.
    std::function<void()> OnRunEnded;
    // Called when the run leaves a selected group (walked to its end, empty or refused), with
    // the group's text and what its walk did; not for a group cut short by Stop.
    std::function<void(const std::string& group, const GroupWalker::Counts& counts)> OnGroupDone;

private:
    // Entry points of the client's events and the timers.
    void NntpClient1SessionConnected();
    void NntpClient1SessionClosed(std::uint16_t error);
    void NntpClient1RequestDone(NntpRequest RqType, std::uint16_t Error);
    void NntpClient1XHdrLine();
    void NntpClient1MessageLine();
    void NntpClient1MessageEnd();
    void NntpClient1OverviewLine();
    void Timer1Timer();
    void Timer3Timer();

    // Transitions.
    void requestDone(NntpRequest rqType, std::uint16_t error);
    void enterGroup();
    void opened(NntpRequest rqType, std::uint16_t error);
    void groupSelected(std::uint16_t error);
    void walked(GroupWalker::Outcome outcome);
    void nextGroup();
    // Gives the connection up, logs why, and connects again after the back-off.
    void reconnect(const std::string& reason);
    void progressed();
    // The overview walk's other connections settled articles or gave them back.
    void poolChanged();
    // Ends the run because the server refused it; the reason goes to the view, the outcome
    // and the log.
    void refused(const std::string& reason);
    // A refusal that may be the server counting the run's other connections (othersMayBeCounted)
    // closes one of them and connects again; with none open, or otherwise, the run ends.
    void refusedOrMakeRoom(const std::string& refusal, bool othersMayBeCounted);
    // Ends the run: the buttons, the panels (the group panel shows "Processing is over", with
    // the outcome's reason when it failed, unless another text is given) and OnRunEnded.
    void finishRun(const std::string& groupPanelText = {});
    // A connect that failed over TLS (TlsConnectFailure); true when it has been dealt with.
    bool tlsConnectFailed(std::uint16_t Error);

    // Commands; each sets the state it leads to.
    void connect();
    void selectGroup();
    void quit();
    void setState(RunState state) { state_ = state; }

    GroupWalker& walker() { return walkers_.current(); }
    bool connectionLost(NntpRequest RqType, std::uint16_t Error) const;
    void restartWatchdog()
    {
        if (sessionActive())
            watchdog_.restart();
    }
    // Starts the deadline of the article the walker has just asked for, or stops it when the
    // walker is not fetching.
    void followArticleDeadline();
    template <class Step> void guarded(Step&& step);

    SessionView& view_;
    NntpClient client_;
    RunWatchdog watchdog_;  // Timer1 (the watchdog), Timer3 (the countdown's second), the article deadline
    TransferRate rate_;
    int millisecondsPerSecond_ = 1000;

    std::string tlsAcceptedFingerprint_;
    RunState state_ = runIdle;
    int GroupIndex = 0;
    MessageIdCache MessageIdCache_;
    GroupProgress progress_;
    WalkerChoice walkers_{client_, view_, MessageIdCache_, progress_, rate_};
    ConnectionSetup setup_{client_};
    int expiries_ = 0;
    QTimer reconnectTimer_;
    ReconnectBackOff backOff_;
    std::int64_t reachedBefore_ = 0;
    bool loggedIn_ = false;  // a login of this run was taken: the credentials are right
    RunOutcome* outcome_ = nullptr;
};

} // namespace nimbra
