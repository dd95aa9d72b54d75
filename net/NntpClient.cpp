#include "net/NntpClient.h"

#include "net/AsyncSocket.h"
#include "net/NntpDateTime.h"
#include "net/NntpReply.h"
#include "net/SocketException.h"
#include "platform/MessageWindow.h"
#include "platform/Stream.h"

#include <cstring>

namespace nimbra {
namespace {

constexpr unsigned WM_NNTP_REQUEST_DONE = UserMessage + 1;
constexpr int ReceiveBufferSize = 4096;
constexpr int PostBufferSize = 4096;

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

struct NntpClient::Impl {
    enum Handler {
        NoHandler, GroupReply, QuitReply, ArticleStatusReply, DataLine, PostReply, PostFinalReply, DateReply,
        ModeReaderReply, HeaderStatusReply, HeaderLine, UserReply, PassReply,
    };

    NntpClient& self;
    MessageWindow window;
    std::string host;
    std::string port;
    NntpState state = nntpNotConnected;
    AsyncSocket socket;
    std::string requestText;
    NntpRequest requestType = nntpConnect;
    bool requestDoneFlag = false;
    bool postEndSent = false;
    std::int32_t statusCode = 503;
    char postBuffer[PostBufferSize];
    char receiveBuffer[ReceiveBufferSize];
    int receiveStart = 0;   // held bytes begin here; lines are cut by moving this offset
    int receiveLength = 0;  // bytes held, not yet cut into lines
    std::string lastResponse;
    std::string statusLineCopy;
    std::int32_t articleEstimated = -1;
    std::int32_t articleFirst = -1;
    std::int32_t articleLast = -1;
    std::int32_t articleNumber = -1;
    std::string articleId;
    DateTime serverDate = 0;
    Stream* destination = nullptr;
    std::string userName;
    std::string passWord;
    Handler handler = NoHandler;
    bool postingPermited = false;
    bool cutting = false;  // lines are being handed out; a nested read waits for the outer one

    explicit Impl(NntpClient& owner)
        : self(owner), window([this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
              if (message == WM_NNTP_REQUEST_DONE && self.OnRequestDone)
                  self.OnRequestDone(self, static_cast<NntpRequest>(wParam), static_cast<std::uint16_t>(lParam));
          })
    {
        socket.OnSessionConnected = [this](CustomAsyncSocket&, std::uint16_t error) { socketConnected(error); };
        socket.OnDataAvailable = [this](CustomAsyncSocket&, std::uint16_t error) { dataAvailable(error); };
        socket.OnSessionClosed = [this](CustomAsyncSocket&, std::uint16_t error) { socketClosed(error); };
        socket.OnDnsLookupDone = [this](CustomAsyncSocket&, std::uint16_t error) { lookupDone(error); };
        receiveBuffer[0] = 0;
    }

    void changeState(NntpState newState)
    {
        if (state == newState)
            return;
        state = newState;
        if (self.OnStateChange)
            self.OnStateChange(self);
    }

    void requireReady(const char* text) const
    {
        if (state != nntpReady)
            throw NntpException(text);
    }

    // The single point through which every request ends.
    void finish(std::uint16_t error, bool connectionLost = false)
    {
        if (!requestDoneFlag)
            window.post(WM_NNTP_REQUEST_DONE, static_cast<std::uintptr_t>(requestType), error);
        requestDoneFlag = true;
        handler = NoHandler;
        changeState(socket.State() == wsConnected && !connectionLost ? nntpReady : nntpNotConnected);
    }

    void start(NntpRequest type, std::string text, Handler replyHandler)
    {
        requestDoneFlag = false;
        requestType = type;
        requestText = std::move(text);
        handler = replyHandler;
        changeState(nntpWaitingResponse);
        sendRequest();
    }

    void sendRequest()
    {
        statusLineCopy.clear();
        try {
            socket.SendStr(requestText + "\r\n");
        } catch (const SocketException&) {
            // The request cannot go out: it ends now, with the socket's error.
            finish(static_cast<std::uint16_t>(socket.LastError() ? socket.LastError() : 10057), true);
        }
    }

    // ---- connecting ----------------------------------------------------------------------

    void lookupDone(std::uint16_t error)
    {
        if (state != nntpDnsLookup)
            return;
        if (error != 0) {
            finish(error, true);
            return;
        }
        try {
            socket.SetAddr(socket.DnsResult());
            socket.SetProto("tcp");
            socket.SetPort(port);
            changeState(nntpWaitingBanner);
            socket.Connect();
        } catch (const SocketException&) {
            // A port that names no service, or no socket to be had: the connect ends here.
            finish(static_cast<std::uint16_t>(socket.LastError() ? socket.LastError() : 10022), true);
        }
    }

    void socketConnected(std::uint16_t error)
    {
        if (error == 0)
            return;  // the banner completes the connect
        finish(error, true);
        socket.Close();
    }

    void banner(std::uint16_t error)
    {
        changeState(nntpReady);
        std::size_t pos = 0;
        statusCode = NntpReply::readNumber(lastResponse, pos);
        postingPermited = statusCode == PostingAllowed;
        if (self.OnSessionConnected)
            self.OnSessionConnected(self, error);
    }

    void socketClosed(std::uint16_t error)
    {
        socket.OnDataSent = nullptr;
        if (requestType != nntpAbort)
            finish(error, true);
        if (self.OnSessionClosed)
            self.OnSessionClosed(self, error);
        changeState(nntpNotConnected);
    }

    // ---- receiving -----------------------------------------------------------------------

    void dataAvailable(std::uint16_t error)
    {
        if (cutting)
            return;
        if (receiveStart > 0) {
            std::memmove(receiveBuffer, receiveBuffer + receiveStart, static_cast<std::size_t>(receiveLength));
            receiveStart = 0;
        }
        // At most 4,095 bytes are held: a line that fills them is too long, the read asks for
        // nothing, gets 0, and that closes the connection.
        const int count = socket.Receive(receiveBuffer + receiveLength, ReceiveBufferSize - 1 - receiveLength);
        if (requestType == nntpAbort)
            return;
        if (count == 0) {
            socket.Close();
            return;
        }
        if (count < 0)
            return;
        receiveBuffer[receiveLength + count] = 0;
        if (self.OnDisplay)
            self.OnDisplay(self, receiveBuffer + receiveLength, count);
        receiveLength += count;
        cutting = true;
        try {
            cutLines(error);
        } catch (...) {
            cutting = false;
            throw;
        }
        cutting = false;
    }

    void cutLines(std::uint16_t error)
    {
        while (receiveLength > 0 && requestType != nntpAbort) {
            const char* held = receiveBuffer + receiveStart;
            const char* end = findLineEnd(held, receiveLength);
            if (!end)
                return;
            const int lineLength = static_cast<int>(end - held);
            lastResponse.assign(held, static_cast<std::size_t>(lineLength));
            receiveStart += lineLength + 2;
            receiveLength -= lineLength + 2;
            dispatch(error, held, lineLength);
        }
        if (requestType == nntpAbort)
            receiveStart = receiveLength = 0;
    }

    // The first CR LF among the count bytes at text (NUL bytes are ordinary bytes here).
    static const char* findLineEnd(const char* text, int count)
    {
        const char* stop = text + count;
        for (const char* p = text; p < stop;) {
            const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(stop - p)));
            if (!cr || cr + 1 >= stop)
                return nullptr;
            if (cr[1] == '\n')
                return cr;
            p = cr + 1;
        }
        return nullptr;
    }

    // raw points at the line in the receive buffer, followed by its CR LF; it stays valid
    // until the next read.
    void dispatch(std::uint16_t error, const char* raw, int length)
    {
        if (state == nntpWaitingBanner) {
            banner(error);
        } else if (state == nntpWaitingResponse) {
            if (handler == NoHandler)
                changeState(nntpReady);
            else
                reply(raw, length);
        } else if (self.OnDataAvailable) {
            self.OnDataAvailable(self, error);
        }
    }

    void reply(const char* raw, int length)
    {
        switch (handler) {
        case GroupReply: groupReply(); break;
        case QuitReply: readStatus(); finish(0); break;
        case ArticleStatusReply: articleStatusReply(); break;
        case DataLine: dataLine(raw, length, false); break;
        case HeaderStatusReply: headerStatusReply(); break;
        case HeaderLine: dataLine(raw, length, true); break;
        case PostReply: postReply(); break;
        case PostFinalReply: postFinalReply(); break;
        case DateReply: dateReply(); break;
        case ModeReaderReply: finishOn(readStatus() == PostingAllowed || statusCode == NoPosting); break;
        case UserReply: userReply(); break;
        case PassReply: finishOn(readStatus() == AuthAccepted); break;
        case NoHandler: break;
        }
    }

    std::int32_t readStatus()
    {
        std::size_t pos = 0;
        statusCode = NntpReply::readNumber(lastResponse, pos);
        return statusCode;
    }

    // Finishes with 0 when the reply succeeded, else with its code.
    void finishOn(bool success) { finish(success ? 0 : NntpReply::errorValue(statusCode)); }

    void groupReply()
    {
        std::size_t pos = 0;
        statusCode = NntpReply::readNumber(lastResponse, pos);
        articleEstimated = NntpReply::readNumber(lastResponse, pos);
        articleFirst = NntpReply::readNumber(lastResponse, pos);
        articleLast = NntpReply::readNumber(lastResponse, pos);
        finishOn(statusCode == GroupSelected);
    }

    void articleStatusReply()
    {
        std::size_t pos = 0;
        statusCode = NntpReply::readNumber(lastResponse, pos);
        if (!NntpReply::opensBlock(statusCode)) {
            finish(NntpReply::errorValue(statusCode));
            return;
        }
        articleNumber = NntpReply::readNumber(lastResponse, pos);
        articleId = NntpReply::readMessageId(lastResponse, pos);
        if (statusCode == ArticleSelected) {
            finish(0);
            return;
        }
        statusLineCopy = lastResponse;
        handler = DataLine;
        changeState(nntpWaitingResponse);
        if (self.OnMessageBegin)
            self.OnMessageBegin(self);
    }

    void headerStatusReply()
    {
        if (readStatus() != HeadFollows) {
            finish(NntpReply::errorValue(statusCode));
            return;
        }
        statusLineCopy = lastResponse;
        handler = HeaderLine;
        if (self.OnXHdrBegin)
            self.OnXHdrBegin(self);
    }

    // A data line (or, for XHDR, a header line, which is not unstuffed).
    void dataLine(const char* raw, int length, bool headerLine)
    {
        if (length == 1 && raw[0] == '.') {
            if (!statusLineCopy.empty())
                lastResponse = statusLineCopy;
            statusLineCopy.clear();
            const NotifyEvent& end = headerLine ? self.OnXHdrEnd : self.OnMessageEnd;
            if (end)
                end(self);
            finish(0);
            return;
        }
        if (!headerLine && length >= 2 && raw[0] == '.' && raw[1] == '.') {
            lastResponse.erase(0, 1);
            ++raw;
            --length;
        }
        if (destination)
            destination->write(raw, static_cast<std::size_t>(length) + 2);  // the line and its CR LF
        const NotifyEvent& line = headerLine ? self.OnXHdrLine : self.OnMessageLine;
        if (line)
            line(self);
    }

    void userReply()
    {
        if (readStatus() != SendPassword) {
            finish(NntpReply::errorValue(statusCode));
            return;
        }
        requestText = "AUTHINFO PASS " + passWord;
        requestDoneFlag = false;
        handler = PassReply;
        sendRequest();
    }

    void dateReply()
    {
        std::size_t pos = 0;
        statusCode = NntpReply::readNumber(lastResponse, pos);
        if (statusCode != DateFollows) {
            finish(NntpReply::errorValue(statusCode));
            return;
        }
        double when = 0;
        if (NntpReply::readDate(trimmed(lastResponse.substr(pos)), when))
            serverDate = when;
        finish(0);
    }

    // ---- posting -------------------------------------------------------------------------

    void postReply()
    {
        if (readStatus() != SendArticle) {
            finish(NntpReply::errorValue(statusCode));
            return;
        }
        handler = PostFinalReply;
        socket.OnDataSent = [this](CustomAsyncSocket&, std::uint16_t error) { postDataSent(error); };
        postBlock();
    }

    void postBlock()
    {
        const std::size_t count = destination ? destination->read(postBuffer, sizeof postBuffer) : 0;
        if (count > 0) {
            socket.Send(postBuffer, static_cast<int>(count));
        } else if (!postEndSent) {
            postEndSent = true;
            socket.SendStr("\r\n.\r\n");
        }
    }

    void postDataSent(std::uint16_t error)
    {
        if (error == 0) {
            postBlock();
            return;
        }
        lastResponse = "441 posting failed";
        postFinalReply();
    }

    void postFinalReply()
    {
        socket.OnDataSent = nullptr;
        finishOn(readStatus() == PostingDone);
    }

    // ---- requests of the article family ----------------------------------------------------

    static const char* articleCommand(NntpRequest type)
    {
        switch (type) {
        case nntpArticleByNumber: case nntpArticleByID: return "ARTICLE";
        case nntpBodyByID: case nntpBodyByNumber: return "BODY";
        case nntpHeadByID: case nntpHeadByNumber: return "HEAD";
        case nntpStatByID: case nntpStatByNumber: return "STAT";
        default: throw NntpException("Internal error: Invalid Request Type");
        }
    }

    void articleRequest(NntpRequest type, const std::string& argument, Stream* stream)
    {
        const std::string command = articleCommand(type);
        if (state != nntpReady)
            throw NntpException("Not ready for " + command);
        destination = stream;
        articleNumber = -1;
        articleId.clear();
        start(type, command + argument, ArticleStatusReply);
    }

    void byNumber(NntpRequest type, std::int32_t number, Stream* stream)
    {
        articleRequest(type, number > 0 ? " " + std::to_string(number) : std::string(), stream);
    }

    void byId(NntpRequest type, const std::string& id, Stream* stream)
    {
        articleRequest(type, " <" + id + ">", stream);
    }

    void listingRequest(NntpRequest type, const char* notReady, std::string text, Stream* stream)
    {
        requireReady(notReady);
        destination = stream;
        start(type, std::move(text), ArticleStatusReply);
    }

    static std::string dateArgument(DateTime when, bool gmt, const std::string& distributions)
    {
        std::string text = NntpDateTime::commandText(when);
        if (gmt)
            text += " GMT";
        if (!distributions.empty())
            text += " <" + distributions + ">";
        return text;
    }
};

NntpClient::NntpClient() : d(std::make_unique<Impl>(*this)) {}

NntpClient::~NntpClient() = default;

AsyncSocket& NntpClient::Socket() { return d->socket; }
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
std::int32_t NntpClient::ArticleEstimated() const { return d->articleEstimated; }
std::int32_t NntpClient::ArticleFirst() const { return d->articleFirst; }
std::int32_t NntpClient::ArticleLast() const { return d->articleLast; }
std::int32_t NntpClient::ArticleNumber() const { return d->articleNumber; }
void NntpClient::SetArticleNumber(std::int32_t number) { d->articleNumber = number; }
const std::string& NntpClient::ArticleID() const { return d->articleId; }
DateTime NntpClient::ServerDate() const { return d->serverDate; }

void NntpClient::Connect()
{
    if (d->state != nntpNotConnected)
        throw NntpException("Already connected");
    d->requestType = nntpConnect;
    d->requestDoneFlag = false;
    d->receiveStart = d->receiveLength = 0;
    d->receiveBuffer[0] = 0;
    d->requestText.clear();
    d->articleNumber = d->articleFirst = d->articleLast = d->articleEstimated = -1;
    d->articleId.clear();
    d->changeState(nntpDnsLookup);
    try {
        d->socket.DnsLookup(d->host);
    } catch (const SocketException&) {
        // An empty host: the lookup has already reported 10022, which ended the request.
        if (!d->requestDoneFlag)
            d->finish(10022, true);
    }
}

void NntpClient::Abort()
{
    d->requestType = nntpAbort;
    d->socket.OnDataSent = nullptr;
    d->socket.Close();
    d->receiveStart = d->receiveLength = 0;
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
    d->start(nntpGroup, "GROUP " + trimmed(name), Impl::GroupReply);
}

void NntpClient::ArticleByNumber(std::int32_t number, Stream* destination)
{
    d->byNumber(nntpArticleByNumber, number, destination);
}

void NntpClient::ArticleByID(const std::string& id, Stream* destination)
{
    d->byId(nntpArticleByID, id, destination);
}

void NntpClient::HeadByNumber(std::int32_t number, Stream* destination)
{
    d->byNumber(nntpHeadByNumber, number, destination);
}

void NntpClient::HeadByID(const std::string& id, Stream* destination) { d->byId(nntpHeadByID, id, destination); }

void NntpClient::BodyByNumber(std::int32_t number, Stream* destination)
{
    d->byNumber(nntpBodyByNumber, number, destination);
}

void NntpClient::BodyByID(const std::string& id, Stream* destination) { d->byId(nntpBodyByID, id, destination); }
void NntpClient::StatByNumber(std::int32_t number) { d->byNumber(nntpStatByNumber, number, nullptr); }
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
                      "NEWGROUPS " + Impl::dateArgument(when, gmt, distributions), destination);
}

void NntpClient::NewNews(DateTime when, bool gmt, const std::string& newsgroups, const std::string& distributions,
                         Stream* destination)
{
    d->listingRequest(nntpNewNews, "Not ready for NEWNEWS",
                      "NEWNEWS " + (newsgroups.empty() ? std::string("*") : newsgroups) + " "
                          + Impl::dateArgument(when, gmt, distributions),
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

} // namespace nimbra
