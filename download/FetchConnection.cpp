#include "download/FetchConnection.h"

#include "download/FetchPool.h"
#include "download/SessionReply.h"
#include "download/SessionSettings.h"
#include "net/AsyncSocket.h"
#include "platform/Log.h"
#include "platform/SocketErrorCode.h"

namespace nimbra {

namespace {

// Replies by which a server says it wants no more connections from this account.
bool limitReply(std::uint16_t error)
{
    return error == replyServiceDiscontinued || error == replyAuthenticationRejected || error == replyServiceUnavailable;
}

} // namespace

FetchConnection::FetchConnection(FetchPool& pool, int lane) : pool_(pool), lane_(lane)
{
    client_.OnSessionConnected = [this](NntpClient&, std::uint16_t) {
        guarded([&] {
            if (state_ != laneConnecting)
                return;
            const std::string refusal = setup_.greetingRefusal();
            if (!refusal.empty())
                refuse(refusal);
            else
                setupNext();
        });
    };
    client_.OnSessionClosed = [this](NntpClient&, std::uint16_t error) {
        // After the request-done of the request the close cut short, which is posted before.
        QTimer::singleShot(0, &backOffTimer_, [this, error] {
            if (state_ == laneQuitting) {
                setState(laneDown);
            } else if (state_ >= laneOpening && state_ <= laneReady) {
                if (state_ == laneReady && pipeline_.empty())
                    dropConnection();  // an idle connection the server let go: made again when needed
                else
                    lost("the server closed the connection (error " + std::to_string(error) + ")");
            }
        });
    };
    client_.OnRequestDone = [this](NntpClient&, NntpRequest rqType, std::uint16_t error) {
        const NntpState state = client_.State();
        if (rqType != nntpConnect && (state == nntpDnsLookup || state == nntpWaitingBanner))
            return;  // a late report of the connection just aborted
        guarded([&] { requestDone(rqType, error); });
    };
    client_.OnMessageLine = [this](NntpClient&) { guarded([&] { messageLine(); }); };
    client_.OnMessageEnd = [this](NntpClient&) {
        if (ArticlePipeline::InFlight* request = pipeline_.reading(client_))
            request->fetch.ended();
    };
    watchdog_.OnExpired = [this] { lost("no reply within the time-out"); };
    watchdog_.OnArticleLate = [this](const std::string& reason) { lost(reason); };
    backOffTimer_.setSingleShot(true);
    QObject::connect(&backOffTimer_, &QTimer::timeout, [this] {
        if (state_ == laneBackingOff) {
            setState(laneDown);
            work();
        }
    });
}

FetchConnection::~FetchConnection()
{
    watchdog_.stopAll();
    backOffTimer_.stop();
    client_.OnSessionConnected = nullptr;
    client_.OnSessionClosed = nullptr;
    client_.OnRequestDone = nullptr;
    client_.OnMessageLine = nullptr;
    client_.OnMessageEnd = nullptr;
}

template <class Step> void FetchConnection::guarded(Step&& step)
{
    try {
        step();
    } catch (const std::exception& error) {
        lost(std::string("a step failed: ") + error.what());
    }
}

void FetchConnection::startRun(const SessionView& view, int millisecondsPerSecond)
{
    dropConnection();
    setup_.startRun(view);
    millisecondsPerSecond_ = millisecondsPerSecond;
    watchdog_.setTimeout(SessionSettings::timeoutSeconds(view), millisecondsPerSecond);
    backOff_.reset();
}

void FetchConnection::endRun()
{
    watchdog_.stopAll();
    backOffTimer_.stop();
    pipeline_.clear();
    if (state_ == laneReady && client_.State() == nntpReady) {
        setState(laneQuitting);
        client_.Quit();
        return;
    }
    dropConnection();
}

void FetchConnection::work()
{
    guarded([&] {
        FetchQueue& queue = pool_.queue();
        switch (state_) {
        case laneDown:
            if (queue.waitingWithin(pool_.horizon()))
                connect();
            return;
        case laneReady:
            if (group_ != pool_.group()) {
                if (pipeline_.empty() && !pool_.group().empty()) {
                    setState(laneSelecting);
                    watchdog_.restart();
                    client_.Group(pool_.group());
                }
                return;
            }
            if (client_.State() == nntpNotConnected)
                return;  // the close is on its way
            {
                const bool idle = pipeline_.empty();
                if (pipeline_.fill(client_, queue, pool_.horizon(), lane_) > 0) {
                    watchdog_.restart();
                    if (idle)
                        followArticle();
                }
            }
            return;
        default:
            return;
        }
    });
}

// ---- events -----------------------------------------------------------------------------

void FetchConnection::requestDone(NntpRequest rqType, std::uint16_t error)
{
    if (rqType == nntpAbort || state_ == laneDown || state_ == laneBackingOff || state_ == laneRefused)
        return;
    if (rqType == nntpQuit) {
        setState(laneDown);
        return;
    }
    watchdog_.restart();
    const bool alive = client_.State() != nntpNotConnected;
    switch (state_) {
    case laneConnecting:
        if (rqType != nntpConnect)
            return;
        if (error == SocketErrorCode::ConnectionRefused)
            refuse("the connection was refused");
        else
            lost("the connect failed (error " + std::to_string(error) + ")");
        return;
    case laneOpening:
        if (alive)
            opened(rqType, error);
        return;
    case laneSelecting:
        if (rqType != nntpGroup || !alive)
            return;
        if (limitReply(error)) {
            refuse("GROUP answered " + client_.LastResponse());
        } else if (error != replySuccess) {
            lost("GROUP answered " + client_.LastResponse());
        } else {
            group_ = pool_.group();
            setState(laneReady);
            work();
        }
        return;
    case laneReady:
        if (rqType == nntpArticleByNumber)
            articleDone(error);
        return;
    default:
        return;
    }
}

void FetchConnection::opened(NntpRequest rqType, std::uint16_t error)
{
    if (rqType != nntpCapabilities && rqType != nntpAuthenticate && rqType != nntpCompress)
        return;
    const std::string refusal = setup_.replied(rqType, error);
    if (!refusal.empty()) {
        refuse(refusal);
        return;
    }
    setupNext();
}

void FetchConnection::setupNext()
{
    setState(laneOpening);
    watchdog_.restart();
    if (setup_.sendNext(setup_.credentials() == 2))
        return;
    setState(laneReady);
    group_.clear();
    work();
}

void FetchConnection::articleDone(std::uint16_t error)
{
    ArticlePipeline::InFlight* request = pipeline_.report();
    if (!request)
        return;
    FetchQueue& queue = pool_.queue();
    const bool settled = ArticlePipeline::settleTaken(*request, queue, error, pool_.group(), client_.ArticleLimit());
    // A request the close cut short may end with any code; the close gives its article back.
    const bool cut = client_.State() == nntpNotConnected || error >= SocketErrorCode::First;
    if (!settled && !cut) {
        if (limitReply(error)) {
            refuse("an article was answered " + std::to_string(error));
            return;
        }
        // An article gone since the overview was written is as good as skipped; any other
        // refusal passes it over, as on the session's connection.
        FetchQueue::Slot* slot = queue.find(request->number, request->generation);
        if (slot && slot->state == FetchQueue::onWire)
            queue.settle(*slot, error == replyNoSuchArticle || error == replyNoArticleWithId ? FetchQueue::gone : FetchQueue::givenUp);
    } else if (!settled) {
        return;
    }
    pipeline_.popOldest();
    backOff_.reset();
    pool_.changed();
    if (pipeline_.empty())
        watchdog_.giveUp();  // nothing asked: nothing can stall
    followArticle();
    work();
}

void FetchConnection::messageLine()
{
    const std::string& line = client_.LastResponse();
    pool_.received(line.size() + 2);
    ArticlePipeline::InFlight* request = pipeline_.reading(client_);
    if (request && request->fetch.line(line))
        watchdog_.restart();
}

// ---- steps ------------------------------------------------------------------------------

void FetchConnection::connect()
{
    AsyncSocket& main = pool_.mainClient().Socket();
    client_.Socket().SetTlsEnabled(main.TlsEnabled());
    client_.Socket().SetTlsAcceptedFingerprint(main.TlsAcceptedFingerprint());
    setup_.newConnection();
    group_.clear();
    setState(laneConnecting);
    watchdog_.restart();
    qCInfo(logSession, "connection %d to %s:%s opening", lane_, client_.Host().c_str(), client_.Port().c_str());
    client_.Connect();
}

void FetchConnection::lost(const std::string& reason)
{
    if (state_ == laneDown || state_ == laneBackingOff || state_ == laneRefused)
        return;
    if (state_ == laneQuitting) {
        dropConnection();
        return;
    }
    dropConnection();
    const int wait = backOff_.take();
    qCWarning(logSession, "connection %d to %s:%s given up: %s; connecting again in %d s", lane_, client_.Host().c_str(),
              client_.Port().c_str(), reason.c_str(), wait);
    setState(laneBackingOff);
    backOffTimer_.start(wait * millisecondsPerSecond_);
}

void FetchConnection::refuse(const std::string& reason)
{
    dropConnection();
    setState(laneRefused);
    pool_.laneRefused(lane_, reason);
}

void FetchConnection::dropConnection()
{
    watchdog_.giveUp();
    backOffTimer_.stop();
    pipeline_.giveBack(pool_.queue());
    if (client_.State() != nntpNotConnected)
        client_.Abort();
    group_.clear();
    setState(laneDown);
    pool_.changed();
}

void FetchConnection::followArticle()
{
    const bool fetching = !pipeline_.empty();
    watchdog_.followArticle(fetching ? pipeline_.oldest().number : 0, fetching ? pipeline_.oldest().fetch.lines() : 0,
                            client_.ArticleLimit());
}

} // namespace nimbra
