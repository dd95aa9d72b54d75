#include "download/DownloadSession.h"

#include "download/ArticleBuffers.h"
#include "download/RunOutcome.h"
#include "download/GroupMarks.h"
#include "download/SessionReply.h"
#include "download/SessionSettings.h"
#include "download/SessionView.h"
#include "download/TlsConnectFailure.h"
#include "net/AsyncSocket.h"
#include "platform/Log.h"
#include "platform/SocketErrorCode.h"
#include "platform/TlsSession.h"

namespace nimbra {

namespace {

constexpr const char* OverText = "Processing is over";
constexpr std::uint16_t FirstSocketError = SocketErrorCode::First;

} // namespace

DownloadSession::DownloadSession(SessionView& view) : view_(view)
{
    client_.OnSessionConnected = [this](NntpClient&, std::uint16_t) { NntpClient1SessionConnected(); };
    client_.OnSessionClosed = [this](NntpClient&, std::uint16_t error) { NntpClient1SessionClosed(error); };
    client_.OnRequestDone = [this](NntpClient&, NntpRequest rqType, std::uint16_t error) {
        // While a new connection is being made, a late report belongs to the one just aborted.
        const NntpState state = client_.State();
        if (rqType != nntpConnect && (state == nntpDnsLookup || state == nntpWaitingBanner))
            return;
        NntpClient1RequestDone(rqType, error);
    };
    client_.OnXHdrLine = [this](NntpClient&) { NntpClient1XHdrLine(); };
    client_.OnMessageLine = [this](NntpClient&) { NntpClient1MessageLine(); };
    client_.OnMessageEnd = [this](NntpClient&) { NntpClient1MessageEnd(); };
    client_.OnOverviewLine = [this](NntpClient&) { NntpClient1OverviewLine(); };
    walkers_.overviewWalk().OnPoolChanged = [this] { guarded([&] { poolChanged(); }); };
    walkers_.overviewWalk().OnPoolProgress = [this] { restartWatchdog(); };
    watchdog_.OnExpired = [this] { Timer1Timer(); };
    watchdog_.OnSecond = [this] { Timer3Timer(); };
    watchdog_.OnArticleLate = [this](const std::string& reason) { reconnect(reason); };
    reconnectTimer_.setSingleShot(true);
    QObject::connect(&reconnectTimer_, &QTimer::timeout, [this] {
        if (state_ == runWaitingToReconnect)
            connect();
    });
}

DownloadSession::~DownloadSession()
{
    watchdog_.stopAll();
    reconnectTimer_.stop();
    client_.OnSessionConnected = client_.OnSessionClosed = nullptr;
    client_.OnRequestDone = nullptr;
    client_.OnXHdrLine = client_.OnMessageLine = client_.OnMessageEnd = client_.OnOverviewLine = nullptr;
    OnGroupDone = nullptr;
}

template <class Step> void DownloadSession::guarded(Step&& step)
{
    try {
        step();
    } catch (const std::exception& error) {
        qCWarning(logSession, "a step of the run failed: %s", error.what());
        reconnect(std::string("a step failed: ") + error.what());
    } catch (...) {
        qCWarning(logSession, "a step of the run failed with an unknown exception");
        reconnect("a step failed");
    }
}

DownloadSession::SessionPhase DownloadSession::phase() const
{
    switch (state_) {
    case runIdle: return phaseIdle;
    case runWaitingToReconnect:
    case runConnecting: return phaseConnecting;
    case runOpening: return phaseOpening;
    case runSelectingGroup: return phaseSelectingGroup;
    case runQuitting: return phaseQuitting;
    case runWalking: break;
    }
    switch (walkers_.current().step()) {
    case GroupWalker::stepSizeQuery: return phaseSizeQuery;
    case GroupWalker::stepFetching: return phaseFetching;
    default: return phaseWalking;
    }
}

void DownloadSession::setTls(bool enabled, const std::string& acceptedFingerprint)
{
    client_.Socket().SetTlsEnabled(enabled);
    client_.Socket().SetTlsAcceptedFingerprint(acceptedFingerprint);
    tlsAcceptedFingerprint_ = acceptedFingerprint;
}

// ---- buttons ----------------------------------------------------------------------------

void DownloadSession::bitbtn1Click()
{
    guarded([&] {
        if (sessionActive())
            return;
        if (view_.groupCount() == 0) {
            view_.inform("No newsgroups in the list");
            return;
        }
        const int first = SessionSettings::nextSelectedGroup(view_, -1);
        if (first < 0) {
            view_.inform("Select at least one newsgroup");
            return;
        }
        if (outcome_)
            outcome_->reset();
        walkers_.startRun();
        setup_.startRun(view_);
        rate_.reset();
        GroupIndex = first;
        walkers_.choose();
        progress_.setServer(GroupMarks::serverKey(view_.hostText(), view_.portText()));
        view_.setStopEnabled(true);
        view_.setGetFilesEnabled(false);
        watchdog_.setTimeout(SessionSettings::timeoutSeconds(view_), millisecondsPerSecond_);
        MessageIdCache_.trim(SessionSettings::articleCache(view_));
        backOff_.reset();
        reachedBefore_ = 0;
        loggedIn_ = false;
        qCInfo(logSession, "run started on %s:%s", client_.Host().c_str(), client_.Port().c_str());
        setState(runConnecting);
        if (client_.State() != nntpNotConnected)
            enterGroup();
        else
            connect();
    });
}

void DownloadSession::stop(const std::string& reason)
{
    guarded([&] {
        walker().interrupted();
        client_.Abort();
        view_.setGetFilesEnabled(true);
        view_.setStopEnabled(false);
        finishRun(reason.empty() ? std::string() : "Stopped: " + reason);
    });
}

void DownloadSession::saveFailed(const std::string& reason, bool stopRun)
{
    if (outcome_)
        outcome_->fail(reason);
    view_.setPanelText(SessionView::panelGroup, "Not saved: " + reason);
    if (stopRun)
        QTimer::singleShot(0, &reconnectTimer_, [this, reason] {
            if (sessionActive())
                stop(reason);
        });
}

// ---- client events ----------------------------------------------------------------------

void DownloadSession::NntpClient1SessionConnected()
{
    guarded([&] {
        if (state_ != runConnecting)
            return;
        qCInfo(logSession, "connected to %s:%s: %s", client_.Host().c_str(), client_.Port().c_str(),
               client_.LastResponse().c_str());
        const std::string refusal = setup_.greetingRefusal();
        if (refusal.empty())
            enterGroup();
        else
            refusedOrMakeRoom(refusal, true);
    });
}

void DownloadSession::NntpClient1SessionClosed(std::uint16_t error)
{
    // Handled after the client's own event has returned, and after the request-done of the
    // request the close cut short (posted before). A close while connecting is reported by the
    // connect's own request-done.
    QTimer::singleShot(0, &reconnectTimer_, [this, error] {
        if (state_ == runOpening || state_ == runSelectingGroup || state_ == runWalking)
            reconnect("the server closed the connection (error " + std::to_string(error) + ")");
    });
}

void DownloadSession::NntpClient1RequestDone(NntpRequest RqType, std::uint16_t Error)
{
    guarded([&] { requestDone(RqType, Error); });
}

void DownloadSession::NntpClient1XHdrLine()
{
    rate_.add(client_.LastResponse().size() + 2);
    guarded([&] {
        if (state_ == runWalking && walker().headerLine(client_.LastResponse()))
            restartWatchdog();
    });
}

void DownloadSession::NntpClient1MessageLine()
{
    rate_.add(client_.LastResponse().size() + 2);
    guarded([&] {
        if (state_ == runWalking && walker().messageLine(client_.LastResponse()))
            restartWatchdog();  // a body line is progress
    });
}

void DownloadSession::NntpClient1OverviewLine()
{
    rate_.add(client_.LastResponse().size() + 2);
    guarded([&] {
        if (state_ == runWalking && walker().overviewLine(client_.Overview()))
            restartWatchdog();  // a line the walk takes is progress
    });
}

void DownloadSession::NntpClient1MessageEnd()
{
    if (state_ == runWalking)
        walker().messageEnded();
}

// ---- timers -----------------------------------------------------------------------------

void DownloadSession::Timer1Timer()
{
    reconnect("no reply within the time-out");
}

void DownloadSession::Timer3Timer()
{
    view_.setPanelText(SessionView::panelCountdown, std::to_string(watchdog_.countdown()));
    rate_.tick();
    view_.setPanelText(SessionView::panelRate, rate_.text());
}

// ---- the run ----------------------------------------------------------------------------

void DownloadSession::requestDone(NntpRequest rqType, std::uint16_t error)
{
    restartWatchdog();
    if (error == replyServiceDiscontinued)
        view_.inform("error 400");
    if (rqType == nntpAbort)
        return;
    if (rqType == nntpQuit) {
        finishRun();
        return;
    }
    if (state_ == runIdle)
        return;
    if (rqType == nntpConnect && tlsConnectFailed(error))
        return;
    if (state_ == runWalking)
        walker().takeArticle(rqType, error);
    if (connectionLost(rqType, error))
        return;  // no step on a dead connection: the watchdog reconnects after the time-out
    switch (state_) {
    case runConnecting:
        if (rqType == nntpConnect)
            reconnect("the connect failed (error " + std::to_string(error) + ")");
        return;
    case runOpening:
        opened(rqType, error);
        return;
    case runSelectingGroup:
        if (rqType == nntpGroup)
            groupSelected(error);
        return;
    case runWalking:
        walked(walker().replied(rqType, error));
        return;
    case runIdle:
    case runWaitingToReconnect:
    case runQuitting:
        return;
    }
}

void DownloadSession::enterGroup()
{
    restartWatchdog();
    // With only one of user name and password nothing follows: the watchdog reconnects until Stop.
    if (setup_.credentials() == 1)
        return;
    setState(runOpening);
    if (!setup_.sendNext(setup_.credentials() == 2))
        selectGroup();
}

void DownloadSession::refusedOrMakeRoom(const std::string& refusal, bool othersMayBeCounted)
{
    if (othersMayBeCounted && walkers_.overviewWalk().makeRoom())
        reconnect(refusal);  // one of the run's other connections gave way
    else
        refused(refusal);
}

void DownloadSession::opened(NntpRequest rqType, std::uint16_t error)
{
    if (rqType != nntpCapabilities && rqType != nntpAuthenticate && rqType != nntpCompress)
        return;
    const std::string refusal = setup_.replied(rqType, error);
    if (!refusal.empty()) {
        // Once a login was taken in this run the account is right: a refusal now (481 or 502
        // "too many connections") is the server counting the run's other connections.
        refusedOrMakeRoom(refusal, loggedIn_);
        return;
    }
    loggedIn_ = loggedIn_ || rqType == nntpAuthenticate;
    if (rqType == nntpCapabilities && setup_.overviewUnlisted() && view_.fastScanChosen())
        walkers_.overviewLacking("lists no OVER");
    enterGroup();
}

void DownloadSession::groupSelected(std::uint16_t error)
{
    const std::string name = view_.groupText(GroupIndex);
    if (error == replyAuthenticationRequired && setup_.credentials() == 0) {
        refused("the news server requires a login for " + name + ": give a user name and password");
        return;
    }
    if (error != replySuccess) {
        qCInfo(logSession, "group %s refused: %s", name.c_str(), client_.LastResponse().c_str());
        nextGroup();
        return;
    }
    qCInfo(logSession, "group %s: estimate %lld, first %lld, last %lld", name.c_str(),
           static_cast<long long>(client_.ArticleEstimated()), static_cast<long long>(client_.ArticleFirst()),
           static_cast<long long>(client_.ArticleLast()));
    if (client_.ArticleEstimated() <= 0) {
        nextGroup();
        return;
    }
    setState(runWalking);
    watchdog_.startSeconds();
    walked(walker().enter(GroupIndex, view_.groupText(GroupIndex)));
}

void DownloadSession::walked(GroupWalker::Outcome outcome)
{
    if (walker().reached() > reachedBefore_)
        progressed();
    followArticleDeadline();
    if (outcome == GroupWalker::notOffered) {
        walkers_.overviewLacking("offers no overview");
        walked(walker().enter(GroupIndex, view_.groupText(GroupIndex)));
        return;
    }
    if (outcome == GroupWalker::groupEnded)
        nextGroup();
}

void DownloadSession::nextGroup()
{
    const GroupWalker::Counts& counts = walker().counts();
    qCInfo(logSession, "group %s done: %lld scanned, %lld fetched, %lld skipped", view_.groupText(GroupIndex).c_str(),
           static_cast<long long>(counts.scanned), static_cast<long long>(counts.fetched),
           static_cast<long long>(counts.skipped));
    setup_.logGroupSavings(view_.groupText(GroupIndex));
    if (OnGroupDone)
        OnGroupDone(view_.groupText(GroupIndex), counts);
    const int next = SessionSettings::nextSelectedGroup(view_, GroupIndex);
    if (next < 0) {
        quit();
        return;
    }
    GroupIndex = next;
    watchdog_.stopSeconds();
    walker().leaveGroup();
    progressed();
    walkers_.choose();
    enterGroup();
}

void DownloadSession::reconnect(const std::string& reason)
{
    if (state_ == runIdle || state_ == runWaitingToReconnect)
        return;  // already given up, or nothing to give up
    ++expiries_;
    walker().interrupted();
    watchdog_.giveUp();
    if (client_.State() != nntpNotConnected)
        client_.Abort();
    if (state_ == runQuitting) {
        // Every group is done; an unanswered QUIT only has to end the run.
        qCInfo(logSession, "QUIT not answered (%s): the run ends", reason.c_str());
        finishRun();
        return;
    }
    const int wait = backOff_.take();
    qCWarning(logSession, "connection to %s:%s given up: %s; connecting again in %d s", client_.Host().c_str(),
              client_.Port().c_str(), reason.c_str(), wait);
    setState(runWaitingToReconnect);
    reconnectTimer_.start(wait * millisecondsPerSecond_);
}

void DownloadSession::poolChanged()
{
    if (state_ == runWalking && &walker() == &walkers_.overviewWalk())
        walked(walkers_.overviewWalk().poolChanged());
}

void DownloadSession::progressed()
{
    backOff_.reset();
    reachedBefore_ = walker().reached();
}

void DownloadSession::refused(const std::string& reason)
{
    qCWarning(logSession, "the run ends: %s", reason.c_str());
    if (outcome_)
        outcome_->fail(reason);
    if (client_.State() != nntpNotConnected)
        client_.Abort();
    view_.inform(reason);
    finishRun("Stopped: " + reason);
}

bool DownloadSession::tlsConnectFailed(std::uint16_t Error)
{
    std::string fingerprint;
    const auto stopTimers = [this] { watchdog_.stopAll(); };  // no reconnect while the user decides
    const TlsConnectFailure::Verdict verdict = TlsConnectFailure::judge(Error, client_, view_, stopTimers, fingerprint);
    if (verdict == TlsConnectFailure::trusted && sessionActive()) {
        client_.Socket().SetTlsAcceptedFingerprint(fingerprint);
        tlsAcceptedFingerprint_ = fingerprint;
        connect();
    } else if (verdict == TlsConnectFailure::refused) {
        finishRun(std::string("Not connected: ") + TlsSession::describe(Error));
    }
    return verdict != TlsConnectFailure::notTls;
}

void DownloadSession::finishRun(const std::string& groupPanelText)
{
    view_.setGetFilesEnabled(true);
    view_.setStopEnabled(false);
    std::string over = OverText;
    if (outcome_ && outcome_->failed())
        over += ": " + outcome_->reason();
    view_.setPanelText(SessionView::panelGroup, groupPanelText.empty() ? over : groupPanelText);
    for (int panel = SessionView::panelArticle; panel <= SessionView::panelRate; ++panel)
        view_.setPanelText(static_cast<SessionView::Panel>(panel), "");
    watchdog_.stopAll();
    reconnectTimer_.stop();
    walker().interrupted();
    walkers_.endRun();
    ArticleBuffers::release();  // the memory kept for the next articles goes with the run
    setState(runIdle);
    setup_.logRunSavings();
    if (OnRunEnded)
        OnRunEnded();
}

// ---- commands ---------------------------------------------------------------------------

void DownloadSession::connect()
{
    qCInfo(logSession, "connecting to %s:%s", client_.Host().c_str(), client_.Port().c_str());
    setup_.newConnection();
    setState(runConnecting);
    restartWatchdog();  // a server that never greets is a stall like any other
    try {
        client_.Connect();
    } catch (const std::exception& error) {
        // The old connection is still closing; the watchdog tries again.
        qCWarning(logSession, "connect refused by the client: %s", error.what());
    }
}

void DownloadSession::selectGroup()
{
    const std::string name = view_.groupText(GroupIndex);
    view_.setPanelText(SessionView::panelGroup, "Group: " + name);
    setState(runSelectingGroup);
    client_.Group(name);
}

void DownloadSession::quit()
{
    setState(runQuitting);
    client_.Quit();
}

// ---- helpers ----------------------------------------------------------------------------

bool DownloadSession::connectionLost(NntpRequest RqType, std::uint16_t Error) const
{
    // A request cut short by a close reports 0 or a socket error, not a server reply code. A
    // walk goes on only on a live connection, whatever the reply: the close reconnects.
    const bool serverReply = Error != replySuccess && Error < FirstSocketError;
    return client_.State() == nntpNotConnected && RqType != nntpConnect && (!serverReply || state_ == runWalking);
}

void DownloadSession::followArticleDeadline()
{
    const bool fetching = state_ == runWalking && walker().step() == GroupWalker::stepFetching;
    watchdog_.followArticle(fetching ? walker().fetchKey() : 0, fetching ? walker().fetchLines() : 0,
                            client_.ArticleLimit());
}

} // namespace nimbra
