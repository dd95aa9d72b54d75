#include "net/NntpClientImpl.h"

#include "net/NntpCommand.h"
#include "net/SocketException.h"
#include "platform/Log.h"
#include "platform/Stream.h"
#include "platform/SocketErrorCode.h"

namespace nimbra {

NntpClient::Impl::Impl(NntpClient& owner)
    : self(owner), window([this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
          if (message == RequestDoneMessage && self.OnRequestDone)
              self.OnRequestDone(self, static_cast<NntpRequest>(wParam), static_cast<std::uint16_t>(lParam));
      })
{
    socket.OnSessionConnected = [this](CustomAsyncSocket&, std::uint16_t error) { socketConnected(error); };
    socket.OnDataAvailable = [this](CustomAsyncSocket&, std::uint16_t error) { dataAvailable(error); };
    socket.OnSessionClosed = [this](CustomAsyncSocket&, std::uint16_t error) { socketClosed(error); };
    socket.OnDnsLookupDone = [this](CustomAsyncSocket&, std::uint16_t error) { lookupDone(error); };
}

void NntpClient::Impl::changeState(NntpState newState)
{
    if (state == newState)
        return;
    state = newState;
    if (self.OnStateChange)
        self.OnStateChange(self);
}

void NntpClient::Impl::requireReady(const char* text) const
{
    if (state != nntpReady)
        throw NntpException(text);
}

void NntpClient::Impl::finish(std::uint16_t error, bool connectionLost)
{
    if (!requestDoneFlag)
        window.post(RequestDoneMessage, static_cast<std::uintptr_t>(requestType), error);
    requestDoneFlag = true;
    handler = NoHandler;
    reader.endBlock();
    const bool up = socket.State() == wsConnected && !connectionLost;
    if (up && !inFlight.empty()) {
        takeNextInFlight();
        return;
    }
    // Requests sent behind this one will get no reply on this connection.
    for (const InFlight& request : inFlight)
        window.post(RequestDoneMessage, static_cast<std::uintptr_t>(request.type), ClosedBeforeReply);
    inFlight.clear();
    changeState(up ? nntpReady : nntpNotConnected);
}

void NntpClient::Impl::start(NntpRequest type, std::string text, Handler replyHandler)
{
    requestDoneFlag = false;
    askedNumber = 0;
    requestType = type;
    requestText = std::move(text);
    handler = replyHandler;
    changeState(nntpWaitingResponse);
    sendRequest();
}

void NntpClient::Impl::sendRequest()
{
    statusLineCopy.clear();
    try {
        socket.SendStr(requestText + "\r\n");
    } catch (const SocketException&) {
        // The request cannot go out: it ends now, with the socket's error.
        const int code = socket.LastError() ? socket.LastError() : SocketErrorCode::NotConnected;
        finish(static_cast<std::uint16_t>(code), true);
    }
}

void NntpClient::Impl::lookupDone(std::uint16_t error)
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
        const int code = socket.LastError() ? socket.LastError() : SocketErrorCode::InvalidArgument;
        finish(static_cast<std::uint16_t>(code), true);
    }
}

void NntpClient::Impl::socketConnected(std::uint16_t error)
{
    if (error == 0)
        return;  // the banner completes the connect
    finish(error, true);
    socket.Close();
}

void NntpClient::Impl::banner(std::uint16_t error)
{
    changeState(nntpReady);
    std::size_t pos = 0;
    statusCode = NntpReply::readNumber(lastResponse, pos);
    postingPermited = statusCode == PostingAllowed;
    if (self.OnSessionConnected)
        self.OnSessionConnected(self, error);
}

void NntpClient::Impl::socketClosed(std::uint16_t error)
{
    socket.OnDataSent = nullptr;
    // A close before the greeting is no connection: the connect must not end with 0.
    if (state == nntpWaitingBanner && error == 0 && requestType != nntpAbort)
        error = ClosedBeforeGreeting;
    if (requestType != nntpAbort)
        qCInfo(logProtocol, "the connection to %s:%s was closed (error %u)%s", host.c_str(), port.c_str(), error,
               requestDoneFlag ? "" : " with a request pending");
    if (requestType != nntpAbort)
        finish(error, true);
    if (self.OnSessionClosed)
        self.OnSessionClosed(self, error);
    changeState(nntpNotConnected);
}

void NntpClient::Impl::dataAvailable(std::uint16_t error)
{
    if (cutting)
        return;
    const int count = socket.Receive(readBuffer.data(), static_cast<int>(readBuffer.size()));
    if (requestType == nntpAbort)
        return;
    if (count == 0) {
        socket.Close();
        return;
    }
    if (count < 0)
        return;
    if (self.OnDisplay)
        self.OnDisplay(self, readBuffer.data(), count);
    reader.append(readBuffer.data(), static_cast<std::size_t>(count));
    cutting = true;
    try {
        cutLines(error);
    } catch (...) {
        cutting = false;
        throw;
    }
    cutting = false;
}

void NntpClient::Impl::cutLines(std::uint16_t error)
{
    std::string_view line;
    while (connected()) {
        switch (reader.next(line)) {
        case NntpBlockReader::None:
            return;
        case NntpBlockReader::Line:
            lastResponse.assign(line);
            dispatch(error, line.data(), static_cast<int>(line.size()));
            break;
        case NntpBlockReader::BlockSkipped:
            qCWarning(logProtocol, "%s: the reply passed its size limit (%llu bytes, header %llu) and was skipped: %s",
                      requestText.c_str(), static_cast<unsigned long long>(articleLimit),
                      static_cast<unsigned long long>(headerLimit), statusLineCopy.c_str());
            if (!statusLineCopy.empty())
                lastResponse = statusLineCopy;
            statusLineCopy.clear();
            finish(ReplyTooLarge);
            break;
        case NntpBlockReader::SkipOverrun:
            qCWarning(logProtocol, "%s: the reply passed its size limit and does not end; closing the connection",
                      requestText.c_str());
            dropConnection(ReplyTooLarge);
            return;
        case NntpBlockReader::LineTooLong:
            qCWarning(logProtocol, "a status line of more than %llu bytes; closing the connection",
                      static_cast<unsigned long long>(StatusLineLimit));
            dropConnection(UnreadableReply);
            return;
        }
    }
    reader.clear();
}

void NntpClient::Impl::dropConnection(std::uint16_t error)
{
    reader.clear();
    finish(error, true);
    socket.Close();
}

void NntpClient::Impl::dispatch(std::uint16_t error, const char* raw, int length)
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

void NntpClient::Impl::reply(const char* raw, int length)
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
    case CompressReply:
        if (readStatus() == CompressionActive)
            socket.StartCompression();
        finishOn(statusCode == CompressionActive);
        break;
    case CapabilitiesReply: capabilitiesReply(); break;
    case CapabilityLine: capabilityLine(raw, length); break;
    case CapabilitiesModeReaderReply: capabilitiesModeReaderReply(); break;
    case FormatReply: formatReply(); break;
    case FormatLine: formatLine(raw, length); break;
    case OverReply: overReply(); break;
    case OverLine: overLine(raw, length); break;
    case NoHandler: break;
    }
}

std::int32_t NntpClient::Impl::readStatus()
{
    std::size_t pos = 0;
    statusCode = NntpReply::readNumber(lastResponse, pos);
    return statusCode;
}

void NntpClient::Impl::groupReply()
{
    std::size_t pos = 0;
    statusCode = NntpReply::readNumber(lastResponse, pos);
    std::int64_t numbers[3] = {0, 0, 0};
    bool readable = true;
    for (std::int64_t& number : numbers)
        readable = NntpReply::readArticleNumber(lastResponse, pos, number) && readable;
    articleEstimated = readable ? numbers[0] : 0;
    articleFirst = readable ? numbers[1] : 0;
    articleLast = readable ? numbers[2] : 0;
    if (statusCode == GroupSelected && !readable) {
        qCWarning(logProtocol, "%s: unreadable numbers in the reply: %.200s", requestText.c_str(), lastResponse.c_str());
        finish(UnreadableReply);
    } else
        finishOn(statusCode == GroupSelected);
}

void NntpClient::Impl::articleStatusReply()
{
    std::size_t pos = 0;
    statusCode = NntpReply::readNumber(lastResponse, pos);
    if (!NntpReply::opensBlock(statusCode)) {
        finish(NntpReply::errorValue(statusCode));
        return;
    }
    std::int64_t number = 0;
    const bool readable = NntpReply::readArticleNumber(lastResponse, pos, number);
    if (!readable && selectsArticle(statusCode)) {
        // A block may follow that could not be told from the next replies.
        qCWarning(logProtocol, "%s: unreadable article number in the reply: %.200s", requestText.c_str(),
                  lastResponse.c_str());
        if (statusCode == ArticleSelected)
            finish(UnreadableReply);
        else
            dropConnection(UnreadableReply);
        return;
    }
    if (readable && number != 0 && askedNumber != 0 && number != askedNumber) {
        // The reply of another request: one was answered twice or not at all, and every
        // reply after it would be taken for the wrong article.
        qCWarning(logProtocol, "%s: the reply names article %lld; the replies no longer match the requests, "
                  "closing the connection", requestText.c_str(), static_cast<long long>(number));
        dropConnection(UnreadableReply);
        return;
    }
    articleNumber = readable ? number : 0;
    articleId = NntpReply::readMessageId(lastResponse, pos);
    if (statusCode == ArticleSelected) {
        finish(0);
        return;
    }
    openBlock(DataLine);
    changeState(nntpWaitingResponse);
    if (self.OnMessageBegin)
        self.OnMessageBegin(self);
}

void NntpClient::Impl::openBlock(Handler lineHandler)
{
    statusLineCopy = lastResponse;
    handler = lineHandler;
    const bool bounded = lineHandler == DataLine && requestType >= nntpArticleByNumber && requestType <= nntpHeadByNumber;
    reader.startBlock(bounded, requestType != nntpBodyByID && requestType != nntpBodyByNumber);
}

void NntpClient::Impl::headerStatusReply()
{
    if (readStatus() != HeadFollows) {
        finish(NntpReply::errorValue(statusCode));
        return;
    }
    openBlock(HeaderLine);
    if (self.OnXHdrBegin)
        self.OnXHdrBegin(self);
}

void NntpClient::Impl::dataLine(const char* raw, int length, bool headerLine)
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

void NntpClient::Impl::userReply()
{
    if (readStatus() != SendPassword) {
        finish(NntpReply::errorValue(statusCode));
        return;
    }
    sendNext("AUTHINFO PASS " + passWord, PassReply);
}

void NntpClient::Impl::sendNext(std::string text, Handler replyHandler)
{
    reader.endBlock();
    requestText = std::move(text);
    requestDoneFlag = false;
    handler = replyHandler;
    sendRequest();
}

bool NntpClient::Impl::blockEnds(const char* raw, int length)
{
    if (length != 1 || raw[0] != '.')
        return false;
    if (!statusLineCopy.empty())
        lastResponse = statusLineCopy;
    statusLineCopy.clear();
    reader.endBlock();
    return true;
}

// ---- capabilities and overview ------------------------------------------------------------

void NntpClient::Impl::capabilitiesReply()
{
    if (readStatus() != CapabilitiesFollow) {
        capabilities.reset();
        finish(NntpReply::errorValue(statusCode));
        return;
    }
    capabilities.reset();
    openBlock(CapabilityLine);
}

void NntpClient::Impl::capabilityLine(const char* raw, int length)
{
    if (!blockEnds(raw, length)) {
        capabilities.addLine(std::string_view(raw, static_cast<std::size_t>(length)));
        return;
    }
    capabilities.setKnown();
    // A server in transit mode lists MODE-READER; its reading commands come after MODE READER.
    if (capabilities.modeReader() && !capabilities.reader() && !modeReaderAsked) {
        modeReaderAsked = true;
        sendNext("MODE READER", CapabilitiesModeReaderReply);
        return;
    }
    qCInfo(logProtocol, "capabilities of %s: over %d, hdr %d, compress deflate %d, reader %d", host.c_str(),
           capabilities.over(), capabilities.hdr(), capabilities.compressDeflate(), capabilities.reader());
    finish(0);
}

void NntpClient::Impl::capabilitiesModeReaderReply()
{
    capabilities.reset();
    if (readStatus() != PostingAllowed && statusCode != NoPosting) {
        finish(NntpReply::errorValue(statusCode));
        return;
    }
    sendNext("CAPABILITIES", CapabilitiesReply);
}

void NntpClient::Impl::formatReply()
{
    overviewFormat.reset();
    if (readStatus() == ListFollows) {
        openBlock(FormatLine);
        return;
    }
    overviewFormatKnown = true;  // the standard fields
    sendNext(overCommand, OverReply);
}

void NntpClient::Impl::formatLine(const char* raw, int length)
{
    if (!blockEnds(raw, length)) {
        overviewFormat.addLine(std::string_view(raw, static_cast<std::size_t>(length)));
        return;
    }
    overviewFormatKnown = true;
    sendNext(overCommand, OverReply);
}

void NntpClient::Impl::overReply()
{
    if (readStatus() != OverviewFollows) {
        finish(NntpReply::errorValue(statusCode));
        return;
    }
    openBlock(OverLine);
}

void NntpClient::Impl::overLine(const char* raw, int length)
{
    if (blockEnds(raw, length)) {
        finish(0);
        return;
    }
    if (length >= 2 && raw[0] == '.' && raw[1] == '.')
        lastResponse.erase(0, 1);
    if (!overviewFormat.parse(lastResponse, overview)) {
        qCWarning(logProtocol, "%s: an overview line without a readable article number skipped: %.200s",
                  requestText.c_str(), lastResponse.c_str());
        return;
    }
    if (self.OnOverviewLine)
        self.OnOverviewLine(self);
}

void NntpClient::Impl::dateReply()
{
    std::size_t pos = 0;
    statusCode = NntpReply::readNumber(lastResponse, pos);
    if (statusCode != DateFollows) {
        finish(NntpReply::errorValue(statusCode));
        return;
    }
    double when = 0;
    if (NntpReply::readDate(NntpCommand::trimmed(lastResponse.substr(pos)), when))
        serverDate = when;
    finish(0);
}

} // namespace nimbra
