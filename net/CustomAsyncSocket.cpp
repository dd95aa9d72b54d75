#include "net/CustomAsyncSocket.h"

#include "net/SocketErrorText.h"
#include "net/SocketEventSource.h"
#include "net/SocketException.h"
#include "platform/Log.h"
#include "platform/MessageWindow.h"
#include "platform/SocketErrorCode.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/socket.h>

#include <atomic>

namespace nimbra {
namespace {

constexpr unsigned WM_ASYNCSELECT = UserMessage + 1;
// UserMessage + 2 and + 3: the lookup answers, which HostLookup queues on the window itself.
constexpr unsigned WM_CLOSE_DELAYED = UserMessage + 4;
constexpr unsigned WM_RELEASE = UserMessage + 5;
constexpr unsigned WM_TEST_EXCEPTION = UserMessage + 6;

std::atomic<std::uintptr_t> nextSerial{1};

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
    if (handle_.valid())
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

std::string CustomAsyncSocket::PeerAddr() const { return SocketEndpoint::handleText(handle_.fd(), true, false); }
std::string CustomAsyncSocket::PeerPort() const { return SocketEndpoint::handleText(handle_.fd(), true, true); }
std::string CustomAsyncSocket::GetXAddr() const { return SocketEndpoint::handleText(handle_.fd(), false, false); }
std::string CustomAsyncSocket::GetXPort() const { return SocketEndpoint::handleText(handle_.fd(), false, true); }

int CustomAsyncSocket::RcvdCount() const { return handle_.pending(); }

// ---- messages ----------------------------------------------------------------------------
void CustomAsyncSocket::WndProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    try {
        switch (message) {
        case WM_ASYNCSELECT:
            if (wParam == serial_ && handle_.valid() && !paused_)
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
    // Nothing may leave the event loop; what fails here is logged.
    const auto guarded = [](const char* step, const std::function<void()>& call) {
        try {
            call();
        } catch (const std::exception& inner) {
            qCWarning(logProtocol) << "socket:" << step << "failed:" << inner.what();
        }
    };
    bool canClose = true;
    if (OnBgException)
        guarded("the background-exception handler", [&] { OnBgException(*this, e, canClose); });
    if (canClose)
        guarded("the abort after a background exception", [this] { Abort(); });
}

void CustomAsyncSocket::HandleSocketEvent(std::uint16_t event, std::uint16_t error)
{
    if (event & FD_CONNECT) {
        ChangeState(wsConnected);
        TriggerSessionConnected(error);
        if (error != 0 && handle_.valid())
            Close();
    }
    if ((event & FD_READ) && handle_.valid())
        ReceiveLoop(error);
    if ((event & FD_WRITE) && handle_.valid()) {
        writePosted_ = false;
        TryToSend();
        if (sendQueue_.allSent() && handle_.valid())
            TriggerDataSent(error);
    }
    if ((event & FD_ACCEPT) && handle_.valid()) {
        if (OnSessionAvailable)
            OnSessionAvailable(*this, error);
        if (events_)
            events_->rearmAccept();
    }
    if ((event & FD_CLOSE) && handle_.valid() && state_ != wsConnecting) {
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
        if (!handle_.valid() || (componentOptions_ & wsoNoReceiveLoop) || lastError_ != 0 || receiveCalls_ == callsBefore
            || RcvdCount() <= 0)
            break;
    }
}

// ---- events, for the layers above ----------------------------------------------------------
void CustomAsyncSocket::TriggerSessionConnected(std::uint16_t error) { if (OnSessionConnected) OnSessionConnected(*this, error); }
void CustomAsyncSocket::TriggerDataSent(std::uint16_t error) { if (OnDataSent) OnDataSent(*this, error); }
void CustomAsyncSocket::TriggerSessionClosed(std::uint16_t error) { if (OnSessionClosed) OnSessionClosed(*this, error); }
void CustomAsyncSocket::TriggerDnsLookupDone(std::uint16_t error) { if (OnDnsLookupDone) OnDnsLookupDone(*this, error); }

bool CustomAsyncSocket::TriggerDataAvailable(std::uint16_t error)
{
    if (!OnDataAvailable)
        return false;
    OnDataAvailable(*this, error);
    return true;
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

void CustomAsyncSocket::RaiseException(const std::string& message) { throw SocketException(message); }

void CustomAsyncSocket::SocketError(const std::string& function)
{
    const int error = lastError_;
    if ((error == SocketErrorCode::ConnectionReset || error == SocketErrorCode::NotConnected) && handle_.valid()) {
        events_.reset();
        handle_.close();
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

void CustomAsyncSocket::CancelDnsLookup() { names_.cancel(); }

// ---- connect -------------------------------------------------------------------------------
void CustomAsyncSocket::Connect()
{
    if (handle_.valid() && state_ != wsClosed)
        RaiseException("Connect: Socket already in use");
    if (const char* missing = endpoint_.missingForConnect())
        RaiseException(std::string("Connect: ") + missing);
    try {
        endpoint_.resolveForConnect();
    } catch (const SocketException& e) {
        RaiseException(std::string("connect: ") + e.what());
    }
    sendQueue_.clear();
    OpenSocket("Connect (socket)");
    const sockaddr_in& peer = endpoint_.peer();
    if (endpoint_.socketType() == SOCK_DGRAM) {
        if (endpoint_.addr() == "255.255.255.255")
            handle_.setOption(SOL_SOCKET, SO_BROADCAST, 1);
        int error = handle_.bind(endpoint_.local());
        if (error == 0)
            handle_.connect(peer, error);
        Check(error, "Connect");
        AttachEvents().rearmRead();
        ChangeState(wsConnected);
        TriggerSessionConnected(0);
        return;
    }
    ApplyStreamOptions();
    AttachEvents();
    ChangeState(wsConnecting);
    int error = 0;
    switch (handle_.connect(peer, error)) {
    case SocketHandle::ConnectStart::Started:
        events_->watchConnect();
        break;
    case SocketHandle::ConnectStart::Answered:
        // The system knew the answer at once; it still arrives as an event, as it would elsewhere.
        window_->post(WM_ASYNCSELECT, serial_, SocketEventSource::pack(FD_CONNECT, static_cast<std::uint16_t>(error)));
        break;
    case SocketHandle::ConnectStart::Failed:
        Check(error, "Connect");
    }
}

void CustomAsyncSocket::OpenSocket(const char* function)
{
    Check(handle_.open(endpoint_.socketType(), endpoint_.protocolNumber()), function);
    serial_ = nextSerial++;
    closeReported_ = false;
    resetError_ = 0;
    readCount_ = 0;
    ChangeState(wsOpened);
}

void CustomAsyncSocket::Check(int error, const char* function)
{
    if (error == 0)
        return;
    lastError_ = error;
    SocketError(function);
}

void CustomAsyncSocket::ApplyStreamOptions()
{
    const char* failedCall = nullptr;
    Check(handle_.setStreamOptions(lingerOnOff_ != wsLingerNoSet, lingerOnOff_ == wsLingerOn, lingerTimeout_, failedCall),
          failedCall);
    if (endpoint_.bindsLocally()) {
        Check(handle_.bind(endpoint_.local()), "Bind");
        ChangeState(wsBound);
    }
}

SocketEventSource& CustomAsyncSocket::AttachEvents()
{
    events_ = std::make_unique<SocketEventSource>(handle_.fd(), serial_, *window_, WM_ASYNCSELECT);
    return *events_;
}

// ---- sending -------------------------------------------------------------------------------
int CustomAsyncSocket::Send(const void* data, int count)
{
    if (state_ != wsConnected || !handle_.valid()) {
        lastError_ = SocketErrorCode::NotConnected;
        SocketError("Send");
    }
    if (count <= 0)
        return 0;
    sendQueue_.append(static_cast<const char*>(data), count);
    TryToSend();
    if (sendQueue_.allSent() && handle_.valid() && !writePosted_) {
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
    while (handle_.valid()) {
        int count = 0;
        const char* data = sendQueue_.next(count);
        if (data == nullptr)
            return;
        const int sent = RealSend(data, count);
        if (sent < 0) {
            const int error = lastError_;
            if (error == SocketErrorCode::WouldBlock)
                AwaitWrite();
            else if (SocketSendQueue::endsConnection(error))
                CloseAndReport(static_cast<std::uint16_t>(error));
            else
                SocketError("TryToSend failed");
            return;
        }
        sendQueue_.consume(sent);
        if (OnSendData)
            OnSendData(*this, sent);
        if (sent < count) {
            AwaitWrite();
            return;
        }
    }
    sendQueue_.clear();
}

int CustomAsyncSocket::RealSend(const char* data, int count)
{
    int error = 0;
    const int sent = handle_.send(data, count, sendFlags_ == wsSendUrgent, error);
    if (sent < 0)
        lastError_ = error;
    return sent;
}

void CustomAsyncSocket::Flush()
{
    QElapsedTimer timer;
    timer.start();
    while (handle_.valid() && !sendQueue_.allSent() && timer.elapsed() < flushTimeout_ * 1000LL) {
        TryToSend();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// ---- receiving -----------------------------------------------------------------------------
int CustomAsyncSocket::Receive(void* buffer, int size)
{
    ++receiveCalls_;
    if (!handle_.valid()) {
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
    int error = 0;
    const int received = handle_.receive(buffer, count, error);
    if (received < 0)
        lastError_ = error;
    return received;
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
void CustomAsyncSocket::Close() { InternalClose(true); }

void CustomAsyncSocket::Abort()
{
    CancelDnsLookup();
    sendQueue_.clear();
    if (handle_.valid() && state_ == wsConnected && endpoint_.protocolNumber() == 6)
        handle_.setLinger(true, 0);
    InternalClose(false);
}

void CustomAsyncSocket::CloseAndReport(std::uint16_t error)
{
    const bool report = !closeReported_;
    closeReported_ = true;
    if (handle_.valid())
        InternalClose(true);
    if (report && !destroying_)
        TriggerSessionClosed(error);
}

void CustomAsyncSocket::InternalClose(bool shutdownFirst)
{
    if (!handle_.valid()) {
        ChangeState(wsClosed);
        return;
    }
    if (shutdownFirst && state_ == wsConnected) {
        BeforeShutdown();
        handle_.shutdown(SHUT_WR);
    }
    events_.reset();
    handle_.close();
    sendQueue_.clear();
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

void CustomAsyncSocket::Shutdown(int how) { handle_.shutdown(how); }

void CustomAsyncSocket::AwaitWrite() { if (events_) events_->awaitWrite(); }

void CustomAsyncSocket::CloseDelayed() { window_->post(WM_CLOSE_DELAYED); }
void CustomAsyncSocket::ReleaseDelayed() { window_->post(WM_RELEASE); }
void CustomAsyncSocket::PostTestException() { window_->post(WM_TEST_EXCEPTION); }

void CustomAsyncSocket::Pause() { paused_ = true; }

void CustomAsyncSocket::Resume() { paused_ = false; if (events_) events_->rearmRead(); }

// ---- adopting an accepted connection ---------------------------------------------------
void CustomAsyncSocket::Dup(int handle)
{
    if (handle_.valid())
        InternalClose(false);
    handle_.adopt(handle);
    serial_ = nextSerial++;
    closeReported_ = false;
    resetError_ = 0;
    readCount_ = 0;
    sendQueue_.clear();
    AttachEvents().rearmRead();
    ChangeState(wsConnected);
}

} // namespace nimbra
