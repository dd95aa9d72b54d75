#include "download/DownloadSession.h"

#include "download/ArticleSink.h"
#include "download/SessionReply.h"
#include "download/SessionSettings.h"
#include "download/SessionView.h"
#include "net/AsyncSocket.h"
#include "platform/Rounding.h"
#include "platform/TlsSession.h"

#include <stdexcept>

namespace nimbra {

namespace {

constexpr const char* LookingText = "Looking for a valid article...";
constexpr const char* OverText = "Processing is over";
constexpr std::uint16_t FirstSocketError = 10000;

// A step that cannot go on; handled like a stalled connection.
class SessionStepError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace

DownloadSession::DownloadSession(SessionView& view) : view_(view)
{
    client_.OnSessionConnected = [this](NntpClient&, std::uint16_t) { NntpClient1SessionConnected(); };
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
    QObject::connect(&Timer1, &QTimer::timeout, [this] { Timer1Timer(); });
    QObject::connect(&Timer3, &QTimer::timeout, [this] { Timer3Timer(); });
}

DownloadSession::~DownloadSession()
{
    Timer1.stop();
    Timer3.stop();
    client_.OnSessionConnected = nullptr;
    client_.OnRequestDone = nullptr;
    client_.OnXHdrLine = nullptr;
    client_.OnMessageLine = nullptr;
    client_.OnMessageEnd = nullptr;
}

template <class Step> void DownloadSession::guarded(Step&& step)
{
    try {
        step();
    } catch (...) {
        expire();
    }
}

// ---- buttons ----------------------------------------------------------------------------

void DownloadSession::bitbtn1Click()
{
    guarded([&] {
        if (SessionActive)
            return;
        if (view_.groupCount() == 0) {
            view_.inform("No newsgroups in the list");
            return;
        }
        const int first = nextSelected(-1);
        if (first < 0) {
            view_.inform("Select at least one newsgroup");
            return;
        }
        follower_.startRun();
        uu_.UuEndSeen = true;
        TimedOut = false;
        GroupDone = false;
        SessionActive = true;
        GroupIndex = first;
        CurrentArticle = 0;
        client_.SetHost(view_.hostText());
        client_.SetPort(view_.portText());
        client_.SetUserName(view_.userNameText());
        client_.SetPassWord(view_.passwordText());
        view_.setStopEnabled(true);
        view_.setGetFilesEnabled(false);
        Timer1.setInterval(static_cast<int>(SessionSettings::timeoutSeconds(view_) * millisecondsPerSecond_));
        Timer3.setInterval(millisecondsPerSecond_);
        MessageIdCache_.trim(SessionSettings::articleCache(view_));
        if (client_.State() != nntpNotConnected)
            NntpClient1RequestDone(nntpConnect, replySuccess);
        else
            connect();
    });
}

void DownloadSession::sendbtnClick()
{
    guarded([&] {
        forgetPendingArticle();
        client_.Abort();
        view_.setGetFilesEnabled(true);
        view_.setStopEnabled(false);
        NntpClient1RequestDone(nntpQuit, replySuccess);
    });
}

// ---- client events ----------------------------------------------------------------------

void DownloadSession::NntpClient1SessionConnected()
{
    guarded([&] {
        GroupDone = false;
        NntpClient1RequestDone(nntpConnect, replySuccess);
    });
}

void DownloadSession::NntpClient1RequestDone(NntpRequest RqType, std::uint16_t Error)
{
    guarded([&] {
        restartWatchdog();
        if (Error == replyServiceDiscontinued)
            view_.inform("error 400");
        if (RqType == nntpAbort)
            return;
        if (RqType == nntpQuit) {
            finishRun();
            return;
        }
        if (!SessionActive)
            return;
        if (RqType == nntpConnect && tlsConnectFailed(Error))
            return;
        if (RqType == nntpArticleByNumber && Error == replySuccess && ArticleStream)
            articleDone();
        if (connectionLost(RqType, Error))
            return;  // no step on a dead connection: the watchdog reconnects after the time-out
        walk(RqType, Error);
    });
}

void DownloadSession::NntpClient1XHdrLine()
{
    guarded([&] {
        if (phase_ == phaseSizeQuery)
            sizeCheck_.line(client_.LastResponse(), SessionSettings::minimumKB(view_),
                            SessionSettings::maximumKB(view_));
    });
}

void DownloadSession::NntpClient1MessageLine()
{
    guarded([&] {
        if (phase_ != phaseFetching)
            return;
        if (follower_.follow(client_.LastResponse(), uu_.SameSubject) != ArticleLineFollower::bodyLine)
            return;
        Countdown = countdownStart();
        restartWatchdog();
        // Shown only when it changes: this runs for every body line.
        const auto percent = follower_.percentText(sizeCheck_.ArticleLines);
        if (percent && *percent != shownPercent_)
            showPanel(SessionView::panelPercent, *percent);
    });
}

void DownloadSession::NntpClient1MessageEnd()
{
    if (phase_ == phaseFetching)
        articleEnded_ = true;
}

// ---- timers -----------------------------------------------------------------------------

void DownloadSession::Timer1Timer()
{
    expire();
}

void DownloadSession::Timer3Timer()
{
    if (Countdown > 0)
        --Countdown;
    showPanel(SessionView::panelCountdown, std::to_string(Countdown));
}

void DownloadSession::expire()
{
    try {
        ++expiries_;
        TimedOut = true;
        ResumePending = false;
        Timer1.stop();
        Countdown = countdownStart();
        forgetPendingArticle();
        if (client_.State() != nntpNotConnected)
            client_.Abort();
        if (phase_ == phaseQuitting) {
            // Every group is done; an unanswered QUIT only has to end the run.
            finishRun();
            return;
        }
        if (SessionActive)
            connect();
    } catch (...) {
        // Abort never raises and connect() catches; nothing may leave the event loop's call.
    }
}

// ---- the walk ---------------------------------------------------------------------------

void DownloadSession::walk(NntpRequest RqType, std::uint16_t Error)
{
    bool taken = false;  // this reply has already led to its next command
    if (Error == replyNoNextArticle)
        GroupDone = true;
    if (Error == replyNoSuchArticle)
        probeNextNumber();
    if (RqType == nntpConnect && Error == replySuccess && bothCredentials())
        authenticate();
    if (RqType == nntpGroup)
        startGroup(Error);
    if (RqType == nntpStatByNumber && Error == replySuccess && FirstIdPending)
        taken = firstArticleId();
    if (RqType == nntpStatByNumber && Error == replySuccess && ResumePending)
        taken = resumedArticle();
    if (RqType == nntpXHdr)
        taken = sizeReplyDone(Error);
    if (!taken && RqType == nntpXHdr && !sizeCheck_.SizeAccepted && FirstXHdrPending)
        FirstXHdrPending = false;  // the first article is the current one already: walk on
    if (!taken && groupFinished(RqType, Error)) {
        NextGroup();
        taken = true;
    }
    if (!taken && walksOn(RqType) && client_.ArticleNumber() < client_.ArticleLast()
        && client_.ArticleNumber() != -1)
        next();
    if (!GroupDone && RqType == nntpNext && Error == replySuccess && client_.ArticleNumber() != -1)
        nextArticle();
    if (!taken && RqType == nntpXHdr && sizeCheck_.SizeAccepted) {
        FirstXHdrPending = false;
        fetch(client_.ArticleNumber());
    }
    if (Error == replySuccess && (RqType == nntpAuthenticate || (RqType == nntpConnect && noCredentials())))
        selectGroup();
}

bool DownloadSession::tlsConnectFailed(std::uint16_t Error)
{
    if (TlsSession::describe(Error)[0] == '\0')
        return false;
    AsyncSocket& socket = client_.Socket();
    const std::string reason = socket.TlsErrorText();
    if (Error != TlsSession::CertificateNotTrusted && Error != TlsSession::NameMismatch) {
        // A handshake cut short may go through next time: the watchdog reconnects.
        showPanel(SessionView::panelGroup, reason);
        return true;
    }
    Timer1.stop();  // no reconnect while the user decides
    Timer3.stop();
    const std::string fingerprint = socket.TlsPeerFingerprint();
    if (Error == TlsSession::CertificateNotTrusted && !fingerprint.empty()
        && fingerprint != socket.TlsAcceptedFingerprint()
        && view_.trustCertificate(client_.Host(), fingerprint, socket.TlsPeerSubject(), reason)) {
        if (SessionActive) {
            socket.SetTlsAcceptedFingerprint(fingerprint);
            connect();
        }
        return true;
    }
    // The same certificate would be met again at every reconnect: the run ends here.
    view_.inform("Not connected to " + client_.Host() + ": " + reason);
    finishRun(std::string("Not connected: ") + TlsSession::describe(Error));
    return true;
}

void DownloadSession::probeNextNumber()
{
    if (CurrentArticle > client_.ArticleLast()) {
        GroupDone = true;  // nothing left to probe in this group
        return;
    }
    showPanel(SessionView::panelArticle, LookingText);
    stat(CurrentArticle);
    Countdown = countdownStart();
    CurrentArticle += 1;
}

void DownloadSession::startGroup(std::uint16_t Error)
{
    FirstIdPending = false;
    FirstXHdrPending = false;
    if (Error != replySuccess || client_.ArticleEstimated() <= 0)
        return;
    if (TimedOut && CurrentArticle != 0) {
        // The article reached is looked at again, since the stall may have cut it off; once
        // only, so an article that stalls every time is walked past instead of forever.
        ResumePending = CurrentArticle != retried_;
        retried_ = CurrentArticle;
        stat(CurrentArticle);
        return;
    }
    retried_ = 0;
    Countdown = countdownStart();
    Timer3.start();
    follower_.startArticle();
    CurrentArticle = client_.ArticleFirst();
    ArticleOrdinal = 1;
    showArticlePanel();
    // The group reply names no article; a STAT of the first one tells its message-id, so the
    // cache test sees the right id and a known first article is never fetched again.
    FirstIdPending = true;
    stat(client_.ArticleFirst());
}

bool DownloadSession::firstArticleId()
{
    FirstIdPending = false;
    CurrentArticle = client_.ArticleNumber();
    if (cacheTest(client_.ArticleID()))
        return false;  // known: walks on like any STAT reply
    startSizeQuery(ArticleSizeCheck::LinesHeader, client_.ArticleNumber());
    FirstXHdrPending = true;
    return true;
}

bool DownloadSession::resumedArticle()
{
    ResumePending = false;
    CurrentArticle = client_.ArticleNumber();
    follower_.startArticle();
    if (cacheTest(client_.ArticleID()))
        return false;  // it had been handled before the stall: walk on
    startSizeQuery(ArticleSizeCheck::LinesHeader, client_.ArticleNumber());
    return true;
}

bool DownloadSession::sizeReplyDone(std::uint16_t Error)
{
    switch (sizeCheck_.finish(Error, SessionSettings::minimumKB(view_))) {
    case ArticleSizeCheck::sizeMalformed:
        pendingId_.clear();  // judged: a broken article stays skipped in later runs too
        throw SessionStepError("size reply is not a number");
    case ArticleSizeCheck::sizeAskMetadata:
        startSizeQuery(ArticleSizeCheck::LinesMetadata, sizeCheck_.number());
        return true;
    case ArticleSizeCheck::sizeDecided:
        break;
    }
    if (!sizeCheck_.SizeAccepted)
        pendingId_.clear();  // skipped by size: handled
    return false;
}

bool DownloadSession::walksOn(NntpRequest RqType) const
{
    return RqType == nntpArticleByNumber || RqType == nntpStatByNumber
        || (RqType == nntpXHdr && !sizeCheck_.SizeAccepted);
}

bool DownloadSession::groupFinished(NntpRequest RqType, std::uint16_t Error) const
{
    if (GroupDone)
        return true;
    if (RqType == nntpGroup)
        return Error != replySuccess || client_.ArticleEstimated() <= 0;
    return walksOn(RqType) && client_.ArticleNumber() >= client_.ArticleLast();
}

void DownloadSession::nextArticle()
{
    CurrentArticle = client_.ArticleNumber();
    ArticleOrdinal += 1;
    follower_.startArticle();
    showArticlePanel();
    if (!cacheTest(client_.ArticleID())) {
        startSizeQuery(ArticleSizeCheck::LinesHeader, client_.ArticleNumber());
        return;
    }
    NntpClient1RequestDone(nntpArticleByNumber, replyKnownArticle);
    Countdown = countdownStart();
}

void DownloadSession::articleDone()
{
    std::unique_ptr<MemoryStream> article = std::move(ArticleStream);
    if (!articleEnded_)
        return;  // the connection ended inside the article: nothing of it is saved
    article->rewind();
    uu_.UuPartOpen = false;
    if (sink_)
        sink_->articleDone({*article, GroupIndex, view_.groupText(GroupIndex), uu_});
    uu_.SameSubject = false;
    Countdown = countdownStart();
    pendingId_.clear();
}

void DownloadSession::NextGroup()
{
    const int next = nextSelected(GroupIndex);
    if (next < 0) {
        setPhase(phaseQuitting);
        client_.Quit();
        return;
    }
    GroupIndex = next;
    Timer3.stop();
    GroupDone = false;
    NntpClient1RequestDone(nntpConnect, replySuccess);
    TimedOut = false;
    CurrentArticle = 0;
}

void DownloadSession::finishRun(const std::string& groupPanelText)
{
    view_.setGetFilesEnabled(true);
    view_.setStopEnabled(false);
    showPanel(SessionView::panelGroup, groupPanelText.empty() ? OverText : groupPanelText);
    for (int panel = SessionView::panelArticle; panel <= SessionView::panelCountdown; ++panel)
        showPanel(panel, "");
    Timer1.stop();
    Timer3.stop();
    SessionActive = false;
    forgetPendingArticle();
    setPhase(phaseIdle);
    if (OnRunEnded)
        OnRunEnded();
}

// ---- commands ---------------------------------------------------------------------------

void DownloadSession::connect()
{
    setPhase(phaseConnecting);
    restartWatchdog();  // a server that never greets is a stall like any other
    try {
        client_.Connect();
    } catch (const std::exception&) {
        // The old connection is still closing; the watchdog tries again.
    }
}

void DownloadSession::authenticate()
{
    setPhase(phaseAuthenticating);
    client_.Authenticate();
}

void DownloadSession::selectGroup()
{
    const std::string name = view_.groupText(GroupIndex);
    showPanel(SessionView::panelGroup, "Group: " + name);
    setPhase(phaseSelectingGroup);
    client_.Group(name);
}

void DownloadSession::stat(std::int32_t number)
{
    setPhase(phaseWalking);
    client_.StatByNumber(number);
}

void DownloadSession::next()
{
    setPhase(phaseWalking);
    client_.Next();
}

void DownloadSession::startSizeQuery(const std::string& header, std::int32_t number)
{
    ArticleStream = std::make_unique<MemoryStream>();
    sizeCheck_.begin(header, number);
    setPhase(phaseSizeQuery);
    client_.XHdr(ArticleStream.get(), header, std::to_string(number));
}

void DownloadSession::fetch(std::int32_t number)
{
    ArticleStream = std::make_unique<MemoryStream>();
    articleEnded_ = false;
    setPhase(phaseFetching);
    client_.ArticleByNumber(number, ArticleStream.get());
}

// ---- helpers ----------------------------------------------------------------------------

bool DownloadSession::cacheTest(const std::string& id)
{
    const bool known = MessageIdCache_.testAndEnter(id, SessionSettings::articleCache(view_));
    pendingId_ = known ? std::string() : id;
    return known;
}

void DownloadSession::forgetPendingArticle()
{
    if (!pendingId_.empty())
        MessageIdCache_.forget(pendingId_);
    pendingId_.clear();
}

int DownloadSession::nextSelected(int after) const
{
    const int count = view_.groupCount();
    for (int index = after + 1; index < count; ++index)
        if (view_.groupSelected(index))
            return index;
    return -1;
}

bool DownloadSession::connectionLost(NntpRequest RqType, std::uint16_t Error) const
{
    // A request cut short by a close reports 0 or a socket error, not a server reply code.
    const bool serverReply = Error != replySuccess && Error < FirstSocketError;
    return client_.State() == nntpNotConnected && RqType != nntpConnect && !serverReply;
}

bool DownloadSession::bothCredentials() const
{
    return !client_.UserName().empty() && !client_.PassWord().empty();
}

bool DownloadSession::noCredentials() const
{
    return client_.UserName().empty() && client_.PassWord().empty();
}

std::int32_t DownloadSession::countdownStart() const
{
    return static_cast<std::int32_t>(roundHalfEven(static_cast<double>(Timer1.interval()) / millisecondsPerSecond_));
}

void DownloadSession::restartWatchdog()
{
    if (SessionActive)
        Timer1.start();
}

void DownloadSession::showPanel(int panel, const std::string& text)
{
    if (panel == SessionView::panelPercent)
        shownPercent_ = text;
    view_.setPanelText(static_cast<SessionView::Panel>(panel), text);
}

void DownloadSession::showArticlePanel()
{
    showPanel(SessionView::panelArticle, "Article: " + std::to_string(ArticleOrdinal) + " of "
                                             + std::to_string(client_.ArticleEstimated()));
}

} // namespace nimbra
