#include "net/CustomAsyncSocket.h"

#include "net/SocketErrorText.h"
#include "net/SocketEventSource.h"
#include "net/SocketException.h"
#include "platform/MessageWindow.h"
#include "platform/SocketErrorCode.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace nimbra {
namespace {

constexpr unsigned WM_ASYNCSELECT = UserMessage + 1;
// UserMessage + 2 and + 3: the lookup answers, which HostLookup queues on the window itself.
constexpr unsigned WM_CLOSE_DELAYED = UserMessage + 4;
constexpr unsigned WM_RELEASE = UserMessage + 5;
constexpr unsigned WM_TEST_EXCEPTION = UserMessage + 6;

std::atomic<std::uintptr_t> nextSerial{1};

// Send errors after which the connection is gone: it is closed and the close reported.
bool isFatalSendError(int error)
{
    // 10058 is added to the classic set: a send after the peer's reset reports EPIPE here.
    using Code = SocketErrorCode;
    return error == Code::ConnectionReset || error == Code::NotASocket || error == Code::NotConnected
        || error == Code::InvalidArgument || error == Code::ConnectionAborted || error == Code::Shutdown;
}

bool isConnectOutcome(int error)
{
    return error == ECONNREFUSED || error == ETIMEDOUT || error == ENETUNREACH || error == EHOSTUNREACH
        || error == ECONNRESET;
}

} // namespace

CustomAsyncSocket::CustomAsyncSocket()
    : window_(std::make_unique<MessageWindow>(
          [this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) { WndProc(message, wParam, lParam); })),
      names_(window_.get())
{
}

CustomAsyncSocket::~CustomAsyncSocket()
{
    destroying_ = true;
    names_.cancel();
    if (fd_ >= 0)
        InternalClose(false);
}

void CustomAsyncSocket::RequireClosed(const char* setting)
{
    if (state_ != wsClosed)
        RaiseException(std::string("Cannot change ") + setting + " if not closed");
}

void CustomAsyncSocket::SetAddr(const std::string& addr) { RequireClosed("Addr"); endpoint_.setAddr(addr); }
void CustomAsyncSocket::SetPort(const std::string& port) { RequireClosed("Port"); endpoint_.setPort(port); }
void CustomAsyncSocket::SetProto(const std::string& proto) { RequireClosed("Proto"); endpoint_.setProto(proto); }

std::string CustomAsyncSocket::PeerAddr() const { return SocketEndpoint::handleText(fd_, true, false); }
std::string CustomAsyncSocket::PeerPort() const { return SocketEndpoint::handleText(fd_, true, true); }
std::string CustomAsyncSocket::GetXAddr() const { return SocketEndpoint::handleText(fd_, false, false); }
std::string CustomAsyncSocket::GetXPort() const { return SocketEndpoint::handleText(fd_, false, true); }

int CustomAsyncSocket::RcvdCount() const
{
    int count = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &count) != 0)
        return 0;
    return count;
}

// ---- messages ----------------------------------------------------------------------------

void CustomAsyncSocket::WndProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    try {
        switch (message) {
        case WM_ASYNCSELECT:
            if (wParam == serial_ && fd_ >= 0 && !paused_)
                HandleSocketEvent(static_cast<std::uint16_t>(lParam & 0xFFFF),
                                  static_cast<std::uint16_t>((lParam >> 16) & 0xFFFF));
            break;
        case WM_CLOSE_DELAYED:
            Close();
            break;
        case WM_RELEASE:
            // Not from inside the window's own event: the window dies with the socket.
            QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { delete this; }, Qt::QueuedConnection);
            break;
        case WM_TEST_EXCEPTION:
            RaiseException("Test exception in socket");
        default:
            break;
        }
    } catch (const std::exception& e) {
        HandleBackgroundException(e);
    }
}

void CustomAsyncSocket::HandleBackgroundException(const std::exception& e)
{
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(*this, e, canClose);
        } catch (...) {
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

void CustomAsyncSocket::HandleSocketEvent(std::uint16_t event, std::uint16_t error)
{
    if (event & FD_CONNECT) {
        ChangeState(wsConnected);
        TriggerSessionConnected(error);
        if (error != 0 && fd_ >= 0)
            Close();
    }
    if ((event & FD_READ) && fd_ >= 0)
        ReceiveLoop(error);
    if ((event & FD_WRITE) && fd_ >= 0) {
        writePosted_ = false;
        TryToSend();
        if (allSent_ && fd_ >= 0)
            TriggerDataSent(error);
    }
    if ((event & FD_ACCEPT) && fd_ >= 0) {
        if (OnSessionAvailable)
            OnSessionAvailable(*this, error);
        if (events_)
            events_->rearmAccept();
    }
    if ((event & FD_CLOSE) && fd_ >= 0 && state_ != wsConnecting) {
        // The system tells a reset only once, and it told the event source; reads after it
        // must still fail with it rather than look like an orderly end.
        resetError_ = error;
        ReceiveLoop(0);
        CloseAndReport(error);
    }
}

void CustomAsyncSocket::ReceiveLoop(std::uint16_t error)
{
    for (;;) {
        lastError_ = 0;
        const unsigned callsBefore = receiveCalls_;
        if (!TriggerDataAvailable(error)) {
            char discarded[1024];
            if (Receive(discarded, sizeof discarded) < 0 && lastError_ == SocketErrorCode::WouldBlock)
                break;
        }
        // A handler that read nothing waits for the next read event, as the system would.
        if (fd_ < 0 || (componentOptions_ & wsoNoReceiveLoop) || lastError_ != 0 || receiveCalls_ == callsBefore
            || RcvdCount() <= 0)
            break;
    }
}

// ---- events, for the layers above ----------------------------------------------------------

void CustomAsyncSocket::TriggerSessionConnected(std::uint16_t error)
{
    if (OnSessionConnected)
        OnSessionConnected(*this, error);
}

bool CustomAsyncSocket::TriggerDataAvailable(std::uint16_t error)
{
    if (!OnDataAvailable)
        return false;
    OnDataAvailable(*this, error);
    return true;
}

void CustomAsyncSocket::TriggerDataSent(std::uint16_t error)
{
    if (OnDataSent)
        OnDataSent(*this, error);
}

void CustomAsyncSocket::TriggerSessionClosed(std::uint16_t error)
{
    if (OnSessionClosed)
        OnSessionClosed(*this, error);
}

void CustomAsyncSocket::TriggerDnsLookupDone(std::uint16_t error)
{
    if (OnDnsLookupDone)
        OnDnsLookupDone(*this, error);
}

void CustomAsyncSocket::ChangeState(SocketState newState)
{
    const SocketState oldState = state_;
    if (oldState == newState)
        return;
    state_ = newState;
    if (OnChangeState && !destroying_)
        OnChangeState(*this, oldState, newState);
}

void CustomAsyncSocket::RaiseException(const std::string& message)
{
    throw SocketException(message);
}

void CustomAsyncSocket::SocketError(const std::string& function)
{
    const int error = lastError_;
    if ((error == SocketErrorCode::ConnectionReset || error == SocketErrorCode::NotConnected) && fd_ >= 0) {
        events_.reset();
        ::close(fd_);
        fd_ = -1;
        ChangeState(wsClosed);
    }
    if (OnError)
        OnError(*this, static_cast<std::uint16_t>(error));
    RaiseException(SocketErrorText::message(error, function));
}

// ---- name lookup ---------------------------------------------------------------------------

void CustomAsyncSocket::DnsLookup(const std::string& host)
{
    RequireHost(host);
    if (names_.start(host, [this](int error) { LookupAnswered(error); }))
        TriggerDnsLookupDone(0);
}

void CustomAsyncSocket::ReverseDnsLookup(const std::string& address)
{
    RequireHost(address);
    names_.startReverse(address, [this](int error) { LookupAnswered(error); });
}

void CustomAsyncSocket::RequireHost(const std::string& host)
{
    if (host.empty()) {
        TriggerDnsLookupDone(SocketErrorCode::InvalidArgument);
        RaiseException("DNS lookup: invalid host name.");
    }
}

void CustomAsyncSocket::LookupAnswered(int error)
{
    try {
        TriggerDnsLookupDone(static_cast<std::uint16_t>(error));
    } catch (const std::exception& e) {
        HandleBackgroundException(e);
    }
}

void CustomAsyncSocket::CancelDnsLookup()
{
    names_.cancel();
}

// ---- connect -------------------------------------------------------------------------------

void CustomAsyncSocket::Connect()
{
    if (fd_ >= 0 && state_ != wsClosed)
        RaiseException("Connect: Socket already in use");
    if (!endpoint_.portAssigned())
        RaiseException("Connect: No Port Specified");
    if (!endpoint_.addrAssigned())
        RaiseException("Connect: No IP Address Specified");
    if (!endpoint_.protoAssigned())
        RaiseException("Connect: No Protocol Specified");
    try {
        endpoint_.resolveForConnect();
    } catch (const SocketException& e) {
        RaiseException(std::string("connect: ") + e.what());
    }
    sendQueue_.clear();
    allSent_ = true;
    OpenSocket("Connect (socket)");
    const sockaddr_in& peer = endpoint_.peer();
    const sockaddr_in& local = endpoint_.local();
    if (endpoint_.socketType() == SOCK_DGRAM) {
        const int on = endpoint_.addr() == "255.255.255.255" ? 1 : 0;
        if (on)
            ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0
            || ::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
            lastError_ = SocketErrorCode::fromErrno(errno);
            SocketError("Connect");
        }
        AttachEvents();
        events_->rearmRead();
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    ApplyStreamOptions();
    AttachEvents();
    ChangeState(wsConnecting);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 || errno == EINPROGRESS) {
        events_->watchConnect();
    } else if (isConnectOutcome(errno)) {
        // The system knew the answer at once; it still arrives as an event, as it would elsewhere.
        window_->post(WM_ASYNCSELECT, serial_, SocketEventSource::pack(FD_CONNECT, SocketErrorCode::fromErrno(errno)));
    } else {
        lastError_ = SocketErrorCode::fromErrno(errno);
        SocketError("Connect");
    }
}

void CustomAsyncSocket::OpenSocket(const char* function)
{
    fd_ = ::socket(AF_INET, endpoint_.socketType() | SOCK_NONBLOCK | SOCK_CLOEXEC, endpoint_.protocolNumber());
    if (fd_ < 0) {
        lastError_ = SocketErrorCode::fromErrno(errno);
        SocketError(function);
    }
    serial_ = nextSerial++;
    closeReported_ = false;
    resetError_ = 0;
    readCount_ = 0;
    ChangeState(wsOpened);
}

void CustomAsyncSocket::ApplyStreamOptions()
{
    const int on = 1;
    if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        lastError_ = SocketErrorCode::fromErrno(errno);
        SocketError("setsockopt(SO_REUSEADDR)");
    }
    if (lingerOnOff_ != wsLingerNoSet) {
        const linger value{lingerOnOff_ == wsLingerOn ? 1 : 0, lingerTimeout_};
        if (::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0) {
            lastError_ = SocketErrorCode::fromErrno(errno);
            SocketError("setsockopt(SO_LINGER)");
        }
    }
    if (::setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
        lastError_ = SocketErrorCode::fromErrno(errno);
        SocketError("setsockopt(SO_KEEPALIVE)");
    }
    if (endpoint_.bindsLocally()) {
        const sockaddr_in& local = endpoint_.local();
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            lastError_ = SocketErrorCode::fromErrno(errno);
            SocketError("Bind");
        }
        ChangeState(wsBound);
    }
}

void CustomAsyncSocket::AttachEvents()
{
    events_ = std::make_unique<SocketEventSource>(fd_, serial_, *window_, WM_ASYNCSELECT);
}

// ---- sending -------------------------------------------------------------------------------

int CustomAsyncSocket::Send(const void* data, int count)
{
    if (state_ != wsConnected || fd_ < 0) {
        lastError_ = SocketErrorCode::NotConnected;
        SocketError("Send");
    }
    if (count <= 0)
        return 0;
    allSent_ = false;
    const char* bytes = static_cast<const char*>(data);
    int queued = 0;
    if (sendQueue_.empty())
        sendQueue_.emplace_back();
    while (queued < count) {
        queued += sendQueue_.back().Write(bytes + queued, count - queued);
        if (queued < count)
            sendQueue_.emplace_back();
    }
    TryToSend();
    if (allSent_ && fd_ >= 0 && !writePosted_) {
        writePosted_ = true;
        window_->post(WM_ASYNCSELECT, serial_, SocketEventSource::pack(FD_WRITE, 0));
    }
    return count;
}

int CustomAsyncSocket::SendStr(const std::string& text)
{
    return text.empty() ? 0 : Send(text.data(), static_cast<int>(text.size()));
}

void CustomAsyncSocket::TryToSend()
{
    while (fd_ >= 0 && !sendQueue_.empty()) {
        int count = 0;
        const char* data = sendQueue_.front().Peek(count);
        if (count > 0) {
            const int sent = RealSend(data, count);
            if (sent < 0) {
                const int error = lastError_;
                if (error == SocketErrorCode::WouldBlock) {
                    events_->awaitWrite();
                } else if (isFatalSendError(error)) {
                    CloseAndReport(static_cast<std::uint16_t>(error));
                } else {
                    SocketError("TryToSend failed");
                }
                return;
            }
            sendQueue_.front().Remove(sent);
            if (OnSendData)
                OnSendData(*this, sent);
            if (sent < count) {
                events_->awaitWrite();
                return;
            }
        }
        if (sendQueue_.size() == 1)
            break;
        sendQueue_.pop_front();
    }
    allSent_ = true;
}

int CustomAsyncSocket::RealSend(const char* data, int count)
{
    const ssize_t sent = ::send(fd_, data, static_cast<std::size_t>(count),
                                MSG_NOSIGNAL | (sendFlags_ == wsSendUrgent ? MSG_OOB : 0));
    if (sent < 0) {
        lastError_ = SocketErrorCode::fromErrno(errno == EAGAIN ? EWOULDBLOCK : errno);
        return -1;
    }
    return static_cast<int>(sent);
}

void CustomAsyncSocket::Flush()
{
    QElapsedTimer timer;
    timer.start();
    while (fd_ >= 0 && !allSent_ && timer.elapsed() < flushTimeout_ * 1000LL) {
        TryToSend();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// ---- receiving -----------------------------------------------------------------------------

int CustomAsyncSocket::Receive(void* buffer, int size)
{
    ++receiveCalls_;
    if (fd_ < 0) {
        lastError_ = SocketErrorCode::NotConnected;
        return -1;
    }
    if (size <= 0)
        return 0;
    int count = RealReceive(static_cast<char*>(buffer), size);
    if (count > 0)
        readCount_ += count;
    else if (count == 0 && resetError_ != 0) {
        lastError_ = resetError_;
        count = -1;
    }
    if (events_)
        events_->rearmRead();
    return count;
}

int CustomAsyncSocket::RealReceive(char* buffer, int count)
{
    const ssize_t received = ::recv(fd_, buffer, static_cast<std::size_t>(count), 0);
    if (received < 0) {
        lastError_ = SocketErrorCode::fromErrno(errno == EAGAIN ? EWOULDBLOCK : errno);
        return -1;
    }
    return static_cast<int>(received);
}

std::string CustomAsyncSocket::ReceiveStr()
{
    const int waiting = RcvdCount();
    if (waiting <= 0)
        return {};
    std::string text(static_cast<std::size_t>(waiting), '\0');
    const int count = Receive(text.data(), waiting);
    text.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return text;
}

// ---- closing -------------------------------------------------------------------------------

void CustomAsyncSocket::Close()
{
    InternalClose(true);
}

void CustomAsyncSocket::Abort()
{
    CancelDnsLookup();
    sendQueue_.clear();
    allSent_ = true;
    if (fd_ >= 0 && state_ == wsConnected && endpoint_.protocolNumber() == 6) {
        const linger reset{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    InternalClose(false);
}

void CustomAsyncSocket::CloseAndReport(std::uint16_t error)
{
    const bool report = !closeReported_;
    closeReported_ = true;
    if (fd_ >= 0)
        InternalClose(true);
    if (report && !destroying_)
        TriggerSessionClosed(error);
}

void CustomAsyncSocket::InternalClose(bool shutdownFirst)
{
    if (fd_ < 0) {
        ChangeState(wsClosed);
        return;
    }
    if (shutdownFirst && state_ == wsConnected) {
        BeforeShutdown();
        ::shutdown(fd_, SHUT_WR);
    }
    events_.reset();
    ::close(fd_);
    fd_ = -1;
    sendQueue_.clear();
    allSent_ = true;
    ChangeState(wsClosed);
    ResetSettings();
    if (!closeReported_ && !destroying_) {
        closeReported_ = true;
        TriggerSessionClosed(0);
    }
}

void CustomAsyncSocket::ResetSettings()
{
    endpoint_.reset();
    lingerOnOff_ = wsLingerOn;
    lingerTimeout_ = 0;
    readCount_ = 0;
}

void CustomAsyncSocket::Shutdown(int how)
{
    if (fd_ >= 0)
        ::shutdown(fd_, how);
}

void CustomAsyncSocket::AwaitWrite()
{
    if (events_)
        events_->awaitWrite();
}

void CustomAsyncSocket::CloseDelayed() { window_->post(WM_CLOSE_DELAYED); }
void CustomAsyncSocket::ReleaseDelayed() { window_->post(WM_RELEASE); }
void CustomAsyncSocket::PostTestException() { window_->post(WM_TEST_EXCEPTION); }

void CustomAsyncSocket::Pause()
{
    paused_ = true;
}

void CustomAsyncSocket::Resume()
{
    paused_ = false;
    if (events_)
        events_->rearmRead();
}

// ---- server side ---------------------------------------------------------------------------

void CustomAsyncSocket::Listen()
{
    if (fd_ >= 0 && state_ != wsClosed)
        RaiseException("listen: Socket already in use");
    if (!endpoint_.portAssigned())
        RaiseException("listen: port not assigned");
    if (!endpoint_.addrAssigned())
        SetAddr("0.0.0.0");
    try {
        endpoint_.resolveForListen();
    } catch (const SocketException& e) {
        RaiseException(std::string("listen: ") + e.what());
    }
    OpenSocket("socket");
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in& local = endpoint_.local();
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        lastError_ = SocketErrorCode::fromErrno(errno);
        SocketError("bind");
    }
    ChangeState(wsBound);
    if (endpoint_.socketType() == SOCK_STREAM && ::listen(fd_, 5) != 0) {
        lastError_ = SocketErrorCode::fromErrno(errno);
        SocketError("listen");
    }
    AttachEvents();
    if (endpoint_.socketType() == SOCK_STREAM)
        events_->watchAccept();
    else
        events_->rearmRead();
    ChangeState(wsListening);
}

int CustomAsyncSocket::Accept()
{
    const int handle = fd_ >= 0 ? ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC) : -1;
    if (handle < 0)
        lastError_ = SocketErrorCode::fromErrno(fd_ >= 0 ? (errno == EAGAIN ? EWOULDBLOCK : errno) : ENOTSOCK);
    return handle;
}

void CustomAsyncSocket::Dup(int handle)
{
    if (fd_ >= 0)
        InternalClose(false);
    fd_ = handle;
    serial_ = nextSerial++;
    closeReported_ = false;
    resetError_ = 0;
    readCount_ = 0;
    sendQueue_.clear();
    allSent_ = true;
    AttachEvents();
    events_->rearmRead();
    ChangeState(wsConnected);
}

} // namespace nimbra
