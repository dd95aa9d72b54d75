#include "net/NntpClient.h"

#include "net/NntpClientImpl.h"
#include "net/NntpCommand.h"
#include "net/SocketException.h"
#include "platform/Log.h"
#include "platform/Stream.h"
#include "platform/SocketErrorCode.h"

#include <algorithm>

namespace nimbra {

// ---- starting requests of the article family and listings (steps of the engine) ----------

void NntpClient::Impl::articleRequest(NntpRequest type, const std::string& argument, std::int64_t number,
                                      Stream* stream)
{
    const std::string command = NntpCommand::articleWord(type);
    if (canPipeline()) {
        inFlight.push_back({type, command + argument, stream, number});
        try {
            socket.SendStr(command + argument + "\r\n");
        } catch (const SocketException& e) {
            // The connection is going; its close ends this request with the others.
            qCWarning(logProtocol, "%s could not be sent: %s", inFlight.back().text.c_str(), e.what());
        }
        return;
    }
    if (state != nntpReady)
        throw NntpException("Not ready for " + command);
    destination = stream;
    articleNumber = -1;
    articleId.clear();
    start(type, command + argument, ArticleStatusReply);
    askedNumber = number;
}

bool NntpClient::Impl::canPipeline() const
{
    const bool articleFamily = requestType >= nntpArticleByNumber && requestType <= nntpStatByNumber;
    return state == nntpWaitingResponse && articleFamily && !requestDoneFlag
           && static_cast<int>(inFlight.size()) + 1 < pipelineWindow;
}

void NntpClient::Impl::takeNextInFlight()
{
    InFlight next = std::move(inFlight.front());
    inFlight.pop_front();
    requestType = next.type;
    requestText = std::move(next.text);
    destination = next.destination;
    askedNumber = next.number;
    requestDoneFlag = false;
    handler = ArticleStatusReply;
    articleNumber = -1;
    articleId.clear();
    statusLineCopy.clear();
}

void NntpClient::Impl::byNumber(NntpRequest type, std::int64_t number, Stream* stream)
{
    articleRequest(type, number > 0 ? " " + std::to_string(number) : std::string(), std::max<std::int64_t>(number, 0),
                   stream);
}

void NntpClient::Impl::byId(NntpRequest type, const std::string& id, Stream* stream)
{
    articleRequest(type, " <" + id + ">", 0, stream);
}

void NntpClient::Impl::listingRequest(NntpRequest type, const char* notReady, std::string text, Stream* stream)
{
    requireReady(notReady);
    destination = stream;
    start(type, std::move(text), ArticleStatusReply);
}

// ---- posting ----------------------------------------------------------------------------

void NntpClient::Impl::postReply()
{
    if (readStatus() != SendArticle) {
        finish(NntpReply::errorValue(statusCode));
        return;
    }
    handler = PostFinalReply;
    socket.OnDataSent = [this](CustomAsyncSocket&, std::uint16_t error) { postDataSent(error); };
    postBlock();
}

void NntpClient::Impl::postBlock()
{
    const std::size_t count = destination ? destination->read(postBuffer, sizeof postBuffer) : 0;
    if (count > 0) {
        socket.Send(postBuffer, static_cast<int>(count));
    } else if (!postEndSent) {
        postEndSent = true;
        socket.SendStr("\r\n.\r\n");
    }
}

void NntpClient::Impl::postDataSent(std::uint16_t error)
{
    if (error == 0) {
        postBlock();
        return;
    }
    lastResponse = "441 posting failed";
    postFinalReply();
}

void NntpClient::Impl::postFinalReply()
{
    socket.OnDataSent = nullptr;
    finishOn(readStatus() == PostingDone);
}

NntpClient::NntpClient() : d(std::make_unique<Impl>(*this)) {}

NntpClient::~NntpClient() = default;

AsyncSocket& NntpClient::Socket() { return d->socket; }
const NntpCapabilities& NntpClient::ServerCapabilities() const { return d->capabilities; }
const OverviewFormat& NntpClient::ServerOverviewFormat() const { return d->overviewFormat; }
const OverviewLine& NntpClient::Overview() const { return d->overview; }
NntpState NntpClient::State() const { return d->state; }
const std::string& NntpClient::Host() const { return d->host; }
void NntpClient::SetHost(const std::string& host) { d->host = host; }
const std::string& NntpClient::Port() const { return d->port; }
void NntpClient::SetPort(const std::string& port) { d->port = port; }
const std::string& NntpClient::UserName() const { return d->userName; }
void NntpClient::SetUserName(const std::string& userName) { d->userName = userName; }
const std::string& NntpClient::PassWord() const { return d->passWord; }
void NntpClient::SetPassWord(const std::string& passWord) { d->passWord = passWord; }
const std::string& NntpClient::LastResponse() const { return d->lastResponse; }
std::int32_t NntpClient::StatusCode() const { return d->statusCode; }
bool NntpClient::PostingPermited() const { return d->postingPermited; }
std::int64_t NntpClient::ArticleEstimated() const { return d->articleEstimated; }
std::int64_t NntpClient::ArticleFirst() const { return d->articleFirst; }
std::int64_t NntpClient::ArticleLast() const { return d->articleLast; }
std::int64_t NntpClient::ArticleNumber() const { return d->articleNumber; }
void NntpClient::SetArticleNumber(std::int64_t number) { d->articleNumber = number; }
int NntpClient::PipelineWindow() const { return d->pipelineWindow; }
void NntpClient::SetPipelineWindow(int requests) { d->pipelineWindow = requests < 1 ? 1 : requests; }
int NntpClient::RequestsInFlight() const
{
    return static_cast<int>(d->inFlight.size()) + (d->state == nntpWaitingResponse ? 1 : 0);
}
std::uint64_t NntpClient::ArticleLimit() const { return d->articleLimit; }
void NntpClient::SetArticleLimit(std::uint64_t bytes)
{
    d->articleLimit = bytes;
    d->reader.setLimits(d->articleLimit, d->headerLimit, StatusLineLimit);
}

std::uint64_t NntpClient::HeaderLimit() const { return d->headerLimit; }
void NntpClient::SetHeaderLimit(std::uint64_t bytes)
{
    d->headerLimit = bytes;
    d->reader.setLimits(d->articleLimit, d->headerLimit, StatusLineLimit);
}
const std::string& NntpClient::ArticleID() const { return d->articleId; }
DateTime NntpClient::ServerDate() const { return d->serverDate; }

void NntpClient::Connect()
{
    if (d->state != nntpNotConnected)
        throw NntpException("Already connected");
    d->requestType = nntpConnect;
    d->requestDoneFlag = false;
    d->reader.clear();
    d->inFlight.clear();
    d->requestText.clear();
    d->capabilities.reset();
    d->overviewFormat.reset();
    d->overviewFormatKnown = false;
    d->articleNumber = d->articleFirst = d->articleLast = d->articleEstimated = -1;
    d->articleId.clear();
    d->changeState(nntpDnsLookup);
    try {
        d->socket.DnsLookup(d->host);
    } catch (const SocketException&) {
        // An empty host: the lookup has already reported 10022, which ended the request.
        if (!d->requestDoneFlag)
            d->finish(SocketErrorCode::InvalidArgument, true);
    }
}

void NntpClient::Abort()
{
    d->inFlight.clear();
    d->requestType = nntpAbort;
    d->socket.OnDataSent = nullptr;
    d->socket.Close();
    d->reader.clear();
    d->lastResponse = "205 Closing connection - goodbye";
    d->statusCode = 205;
    d->requestDoneFlag = false;
    d->finish(0);
}

void NntpClient::Quit()
{
    d->requireReady("Not ready for QUIT");
    d->start(nntpQuit, "QUIT", Impl::QuitReply);
}

void NntpClient::Group(const std::string& name)
{
    d->requireReady("Not ready for GROUP");
    d->start(nntpGroup, "GROUP " + NntpCommand::trimmed(name), Impl::GroupReply);
}

void NntpClient::ArticleByNumber(std::int64_t number, Stream* destination)
{
    d->byNumber(nntpArticleByNumber, number, destination);
}

void NntpClient::ArticleByID(const std::string& id, Stream* destination)
{
    d->byId(nntpArticleByID, id, destination);
}

void NntpClient::HeadByNumber(std::int64_t number, Stream* destination)
{
    d->byNumber(nntpHeadByNumber, number, destination);
}

void NntpClient::HeadByID(const std::string& id, Stream* destination) { d->byId(nntpHeadByID, id, destination); }

void NntpClient::BodyByNumber(std::int64_t number, Stream* destination)
{
    d->byNumber(nntpBodyByNumber, number, destination);
}

void NntpClient::BodyByID(const std::string& id, Stream* destination) { d->byId(nntpBodyByID, id, destination); }
void NntpClient::StatByNumber(std::int64_t number) { d->byNumber(nntpStatByNumber, number, nullptr); }
void NntpClient::StatByID(const std::string& id) { d->byId(nntpStatByID, id, nullptr); }

void NntpClient::Next()
{
    d->requireReady("Not ready for NEXT");
    d->articleId.clear();
    d->start(nntpNext, "NEXT", Impl::ArticleStatusReply);
}

void NntpClient::Last()
{
    d->requireReady("Not ready for LAST");
    d->articleNumber = -1;
    d->articleId.clear();
    d->start(nntpLast, "LAST", Impl::ArticleStatusReply);
}

void NntpClient::List(Stream* destination)
{
    d->listingRequest(nntpList, "Not ready for LIST", "LIST", destination);
}

void NntpClient::Help(Stream* destination)
{
    d->listingRequest(nntpHelp, "Not ready for HELP", "HELP", destination);
}

void NntpClient::XOver(const std::string& range, Stream* destination)
{
    d->listingRequest(nntpXOver, "Not ready for XOVER", "XOVER " + range, destination);
}

void NntpClient::ListOverViewFmt(Stream* destination)
{
    d->listingRequest(nntpListOverViewFmt, "Not ready for LIST OVERVIEW.FMT", "LIST OVERVIEW.FMT", destination);
}

void NntpClient::NewGroups(DateTime when, bool gmt, const std::string& distributions, Stream* destination)
{
    d->listingRequest(nntpNewGroups, "Not ready for NEWGROUPS",
                      "NEWGROUPS " + NntpCommand::dateArgument(when, gmt, distributions), destination);
}

void NntpClient::NewNews(DateTime when, bool gmt, const std::string& newsgroups, const std::string& distributions,
                         Stream* destination)
{
    d->listingRequest(nntpNewNews, "Not ready for NEWNEWS",
                      "NEWNEWS " + (newsgroups.empty() ? std::string("*") : newsgroups) + " "
                          + NntpCommand::dateArgument(when, gmt, distributions),
                      destination);
}

void NntpClient::Post(Stream* source)
{
    d->requireReady("Not ready for POST");
    d->destination = source;
    d->postEndSent = false;
    d->start(nntpPost, "POST", Impl::PostReply);
}

void NntpClient::Authenticate()
{
    d->requireReady("Not ready for AUTHINFO");
    d->start(nntpAuthenticate, "AUTHINFO USER " + d->userName, Impl::UserReply);
}

void NntpClient::Date()
{
    d->requireReady("Not ready for DATE");
    d->serverDate = 0;
    d->destination = nullptr;
    d->start(nntpDate, "DATE", Impl::DateReply);
}

void NntpClient::ModeReader()
{
    d->requireReady("Not ready for ModeReader");
    d->serverDate = 0;
    d->destination = nullptr;
    d->start(nntpModeReader, "MODE READER", Impl::ModeReaderReply);
}

void NntpClient::XHdr(Stream* destination, const std::string& header, const std::string& range)
{
    d->requireReady("Not ready for XHDR");
    d->destination = destination;
    d->start(nntpXHdr, "XHDR " + header + (range.empty() ? std::string() : " " + range), Impl::HeaderStatusReply);
}

void NntpClient::Capabilities()
{
    d->requireReady("Not ready for CAPABILITIES");
    d->modeReaderAsked = false;
    d->start(nntpCapabilities, "CAPABILITIES", Impl::CapabilitiesReply);
}

void NntpClient::Over(std::int64_t first, std::int64_t last)
{
    d->requireReady(d->capabilities.over() ? "Not ready for OVER" : "Not ready for XOVER");
    d->overCommand = (d->capabilities.over() ? "OVER " : "XOVER ") + NntpCommand::range(first, last);
    if (d->overviewFormatKnown)
        d->start(nntpOver, d->overCommand, Impl::OverReply);
    else
        d->start(nntpOver, "LIST OVERVIEW.FMT", Impl::FormatReply);
}

void NntpClient::Compress()
{
    d->requireReady("Not ready for COMPRESS");
    d->start(nntpCompress, "COMPRESS DEFLATE", Impl::CompressReply);
}

} // namespace nimbra
