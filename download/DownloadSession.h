#pragma once

#include "download/ArticleLineFollower.h"
#include "download/ArticleSizeCheck.h"
#include "download/MessageIdCache.h"
#include "download/UuJoinState.h"
#include "net/NntpClient.h"
#include "platform/MemoryStream.h"

#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace nimbra {

class ArticleSink;
class SessionView;

// The download session controller: one run walks every selected entry of the newsgroup list
// box in list order over its own NNTP client, selects articles by message-id cache and size,
// fetches the ones that pass and hands each to the article sink. Every step is taken from the
// client's request-done event, which decides from the request type, the error value and the
// run state which single command to send next. A watchdog timer restarts a stalled run at the
// article where it stood; the countdown timer shows the seconds left in the fourth panel.
//
// Lives on the thread whose event loop runs the client and the timers (the window's). The view
// and the sink are not owned and must outlive the session. No handler lets an exception out.
class DownloadSession {
public:
    // Where a run stands; changed only in setPhase().
    enum SessionPhase {
        phaseIdle, phaseConnecting, phaseAuthenticating, phaseSelectingGroup,
        phaseSizeQuery, phaseFetching, phaseWalking, phaseQuitting,
    };

    explicit DownloadSession(SessionView& view);
    ~DownloadSession();
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;

    // "Get Files": starts a run. Ignored while a run is active.
    void bitbtn1Click();
    // "Stop": ends the run at once.
    void sendbtnClick();

    // The saving step; null keeps each fetched article only until it is released.
    void setArticleSink(ArticleSink* sink) { sink_ = sink; }
    // Milliseconds the watchdog and the countdown count per second of the time-out field;
    // 1000 in the program, less in tests.
    void setMillisecondsPerSecond(int milliseconds) { millisecondsPerSecond_ = milliseconds; }

    // Loaded and saved by the window ("mesagid"); kept between runs.
    MessageIdCache& messageIdCache() { return MessageIdCache_; }
    UuJoinState& uuState() { return uu_; }
    NntpClient& client() { return client_; }

    SessionPhase phase() const { return phase_; }
    bool sessionActive() const { return SessionActive; }
    std::int32_t countdown() const { return Countdown; }
    // Times the watchdog expired or a step failed and the run reconnected.
    int watchdogExpiries() const { return expiries_; }

    // Called once when a run has ended (quit reply, Stop, or an unanswered QUIT), after the
    // buttons and panels show it; for the window to take the message-id cache.
    std::function<void()> OnRunEnded;

private:
    void NntpClient1SessionConnected();
    void NntpClient1RequestDone(NntpRequest RqType, std::uint16_t Error);
    void NntpClient1XHdrLine();
    void NntpClient1MessageLine();
    void NntpClient1MessageEnd();
    void Timer1Timer();
    void Timer3Timer();
    void NextGroup();

    void walk(NntpRequest RqType, std::uint16_t Error);
    void probeNextNumber();
    void startGroup(std::uint16_t Error);
    bool firstArticleId();
    bool resumedArticle();
    bool sizeReplyDone(std::uint16_t Error);
    bool groupFinished(NntpRequest RqType, std::uint16_t Error) const;
    bool walksOn(NntpRequest RqType) const;
    void nextArticle();
    void articleDone();
    void expire();
    // Ends the run: the buttons, the panels (the group panel shows "Processing is over" unless
    // another text is given) and OnRunEnded.
    void finishRun(const std::string& groupPanelText = {});
    // A connect that failed over TLS; true when it has been dealt with. An untrusted
    // certificate is put to the user, and once trusted the run connects again at once. A
    // certificate refused, or one made out for another name, ends the run with its reason,
    // for every reconnect would meet it again. A failed handshake is shown in the group
    // panel and left to the watchdog, as a server that stalls.
    bool tlsConnectFailed(std::uint16_t Error);

    // Commands; each sets the phase it leads to.
    void connect();
    void authenticate();
    void selectGroup();
    void stat(std::int32_t number);
    void next();
    void startSizeQuery(const std::string& header, std::int32_t number);
    void fetch(std::int32_t number);
    void setPhase(SessionPhase phase) { phase_ = phase; }

    bool cacheTest(const std::string& id);
    void forgetPendingArticle();
    int nextSelected(int after) const;
    bool connectionLost(NntpRequest RqType, std::uint16_t Error) const;
    bool bothCredentials() const;
    bool noCredentials() const;
    std::int32_t countdownStart() const;
    void restartWatchdog();
    void showPanel(int panel, const std::string& text);
    void showArticlePanel();
    template <class Step> void guarded(Step&& step);

    SessionView& view_;
    ArticleSink* sink_ = nullptr;
    NntpClient client_;
    QTimer Timer1;  // watchdog
    QTimer Timer3;  // countdown
    int millisecondsPerSecond_ = 1000;

    // Run state.
    bool TimedOut = false;
    bool GroupDone = false;
    bool SessionActive = false;
    bool FirstXHdrPending = false;
    bool FirstIdPending = false;  // the STAT that learns the group's first message-id is out
    bool ResumePending = false;   // the STAT of the article reached after a reconnect is out
    std::int32_t retried_ = 0;    // the article reached that has been given its second try
    std::int32_t ArticleOrdinal = 0;
    std::int32_t Countdown = 0;
    std::int32_t CurrentArticle = 0;
    std::unique_ptr<MemoryStream> ArticleStream;
    int GroupIndex = 0;

    SessionPhase phase_ = phaseIdle;
    MessageIdCache MessageIdCache_;
    ArticleSizeCheck sizeCheck_;
    ArticleLineFollower follower_;
    UuJoinState uu_;
    std::string pendingId_;     // entered in the cache, not yet skipped by size or fetched whole
    bool articleEnded_ = false; // the article's terminating line arrived
    std::string shownPercent_;
    int expiries_ = 0;
};

} // namespace nimbra
