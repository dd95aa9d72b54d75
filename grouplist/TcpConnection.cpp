#include "grouplist/TcpConnection.h"

#include "grouplist/ConnectionErrors.h"
#include "grouplist/WaitPump.h"
#include "platform/SocketErrorCode.h"

#include <algorithm>
#include <climits>

namespace nimbra {
namespace {

constexpr int NoLimit = -2;

std::string trimmed(const std::string& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

int codeOf(const std::string& textCode)
{
    if (textCode.empty() || textCode.size() > 9)
        return 0;
    std::size_t start = textCode[0] == '-' || textCode[0] == '+' ? 1 : 0;
    if (start == textCode.size())
        return 0;
    int value = 0;
    for (std::size_t i = start; i < textCode.size(); ++i) {
        if (textCode[i] < '0' || textCode[i] > '9')
            return 0;
        value = value * 10 + (textCode[i] - '0');
    }
    return textCode[0] == '-' ? -value : value;
}

} // namespace

TcpConnection::TcpConnection() = default;

TcpConnection::~TcpConnection() = default;

SocketHandler& TcpConnection::liveHandler()
{
    if (!handler_ || !handler_->allocated())
        throw ConnClosedGracefullyError();
    return *handler_;
}

SocketHandler& TcpConnection::newHandler()
{
    return newHandler(std::make_unique<SocketHandler>());
}

SocketHandler& TcpConnection::newHandler(std::unique_ptr<SocketHandler> handler)
{
    handler_ = std::move(handler);
    return *handler_;
}

void TcpConnection::releaseHandler()
{
    handler_.reset();
}

void TcpConnection::closeSocket()
{
    closedGracefully_ = true;
    if (handler_)
        handler_->close(true);
}

void TcpConnection::resetInput()
{
    input_.clear();
    closedGracefully_ = false;
}

bool TcpConnection::open() const
{
    return handler_ && handler_->allocated() && !closedGracefully_;
}

void TcpConnection::CheckForDisconnect(bool raise, bool ignoreBuffer)
{
    bool down = false;
    if (closedGracefully_ || !handler_) {
        if (handler_ && handler_->allocated()) {
            handler_->close(true);
            DoStatus(hsDisconnected);
            if (OnDisconnected)
                OnDisconnected(*this);
        }
        down = true;
    } else if (!handler_->allocated()) {
        down = true;
    }
    if (down && raise && (input_.empty() || ignoreBuffer))
        throw ConnClosedGracefullyError();
}

bool TcpConnection::IsConnected()
{
    CheckForDisconnect(false);
    return handler_ && handler_->allocated() && !handler_->connecting();
}

bool TcpConnection::Readable(int ms)
{
    SocketHandler* handler = &liveHandler();
    if (!WaitPump::inUse())
        return handler->readable(ms == NoLimit ? -1 : ms);
    // Slice the wait so the window keeps repainting; the pump may run a handler that closes
    // the connection, so the socket is looked up afresh after every slice.
    int remaining = ms;
    for (;;) {
        const int slice = WaitPump::inUse() ? WaitPump::inUse()->slice() : 250;
        const int wait = remaining == NoLimit ? slice : std::min(slice, remaining);
        const bool ready = handler->readable(wait);
        WaitPump::pump(!ready);
        handler = &liveHandler();
        if (ready)
            return true;
        if (remaining != NoLimit) {
            remaining -= wait;
            if (remaining <= 0)
                return false;
        }
    }
}

int TcpConnection::FillInputBuffer(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout)
{
    if (timeout == -1)
        timeout = ReadTimeout;
    if (timeout == 0)
        timeout = NoLimit;
    CheckForDisconnect(false);
    if (!handler_ || !handler_->allocated()) {
        if (raiseIfDisconnected)
            throw NotConnectedError();
        return 0;
    }
    long received = 0;
    do {
        if (!Readable(timeout)) {
            if (raiseOnTimeout)
                throw ReadTimeoutError();
            return -1;
        }
        if (!handler_)
            throw NotConnectedError();
        scratch_.resize(static_cast<std::size_t>(std::max(RecvBufferSize, 1)));
        received = handler_->receive(scratch_.data(), scratch_.size());
        if (received == 0)
            closedGracefully_ = true;
        if (received < 0) {
            const int code = static_cast<int>(-received);
            if (code != SocketErrorCode::Shutdown && code != SocketErrorCode::ConnectionAborted)
                throw SocketError(code);
            closeSocket();
            if (input_.empty())
                throw SocketError(code);
            received = 0;
        }
        if (received > 0) {
            input_.append(scratch_.data(), static_cast<std::size_t>(received));
            DoWork(wmRead, received);
        }
        CheckForDisconnect(raiseIfDisconnected);
    } while (received == 0 && open());
    return static_cast<int>(received);
}

std::string TcpConnection::tooLongLine(int maxLength)
{
    if (MaxLineAction == maException)
        throw MaxLineLengthExceededError();
    lineWasSplit_ = true;
    return input_.take(static_cast<std::size_t>(maxLength));
}

std::string TcpConnection::ReadLine(const std::string& terminator, int timeout, int maxLength)
{
    if (maxLength == -1)
        maxLength = MaxLineLength;
    const std::string ending = terminator.empty() ? std::string("\n") : terminator;
    const std::size_t limit = maxLength > 0 ? static_cast<std::size_t>(maxLength) : 0;
    lineWasSplit_ = false;
    lineTimedOut_ = false;
    std::size_t scanned = 0;
    std::size_t found = std::string::npos;
    for (;;) {
        const std::size_t held = input_.size();
        if (held > 0) {
            // A terminator may straddle the old end, so resume a little before it.
            const std::size_t overlap = ending.size() - 1;
            found = input_.find(ending, scanned > overlap ? scanned - overlap : 0);
            scanned = held;
        }
        if (found != std::string::npos) {
            if (limit != 0 && found > limit)
                return tooLongLine(maxLength);
            break;
        }
        if (limit != 0 && scanned > limit)
            return tooLongLine(maxLength);
        CheckForDisconnect(true, true);
        if (FillInputBuffer(true, timeout, timeout == -1) <= 0) {
            // The peer closed with only part of a line buffered: that part is not a line.
            CheckForDisconnect(true, true);
            lineTimedOut_ = true;
            return {};
        }
    }
    std::string line = input_.take(found + ending.size());
    line.resize(found);
    if (ending == "\n" && !line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::string TcpConnection::readNonEmptyLine()
{
    for (int attempt = 0; attempt < INT_MAX; ++attempt) {
        std::string line = trimmed(ReadLine());
        if (!line.empty())
            return line;
    }
    return {};
}

int TcpConnection::ReadReply(const std::vector<int>& allowed)
{
    std::vector<std::string> lines{readNonEmptyLine()};
    if (lines[0].size() > 3 && lines[0][3] == '-') {
        const std::string endMarker = lines[0].substr(0, 3) + " ";
        for (;;) {
            lines.push_back(readNonEmptyLine());
            const std::string& line = lines.back();
            if (line.size() < 4 || sameIgnoringCase(line.substr(0, 4), endMarker))
                break;
        }
    }
    LastCmdResult.clear();
    std::string textCode = trimmed(lines[0].substr(0, 4));
    if (textCode.size() == 4 && textCode.back() == '-')
        textCode.pop_back();
    LastCmdResult.TextCode = textCode;
    LastCmdResult.NumericCode = codeOf(textCode);
    for (const std::string& line : lines)
        LastCmdResult.Text.push_back(line.size() > 4 ? line.substr(4) : std::string());
    return CheckReply(LastCmdResult.NumericCode, allowed);
}

int TcpConnection::CheckReply(int code, const std::vector<int>& allowed)
{
    if (allowed.empty() || std::find(allowed.begin(), allowed.end(), code) != allowed.end())
        return code;
    std::string message;
    for (const std::string& line : LastCmdResult.Text)
        message += line + "\r\n";
    throw ProtocolReplyError(code, message);
}

int TcpConnection::SendCommand(const std::string& line, const std::vector<int>& allowed)
{
    WriteLine(line);
    return ReadReply(allowed);
}

int TcpConnection::SendCommand(const std::string& line, int allowed)
{
    return SendCommand(line, allowed == -1 ? std::vector<int>{} : std::vector<int>{allowed});
}

void TcpConnection::WriteLine(const std::string& text)
{
    Write(text + "\r\n");
}

void TcpConnection::Write(const std::string& bytes)
{
    if (bytes.empty())
        return;
    if (!IsConnected())
        throw NotConnectedError();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const long count = liveHandler().send(bytes.data() + sent, bytes.size() - sent);
        WaitPump::pump(false);
        if (count == 0) {
            closedGracefully_ = true;
            CheckForDisconnect(true, true);
        }
        if (count < 0) {
            const int code = static_cast<int>(-count);
            if (code == SocketErrorCode::Shutdown || code == SocketErrorCode::ConnectionAborted
                || code == SocketErrorCode::ConnectionReset)
                closeSocket();
            throw SocketError(code);
        }
        sent += static_cast<std::size_t>(count);
        DoWork(wmWrite, count);
    }
}

void TcpConnection::CloseConnection()
{
    DoStatus(hsDisconnecting);
    closeSocket();
    releaseHandler();
    if (OnDisconnected)
        OnDisconnected(*this);
    DoStatus(hsDisconnected);
}

} // namespace nimbra
