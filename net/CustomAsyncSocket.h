#pragma once

#include "net/SocketEndpoint.h"
#include "net/SocketHandle.h"
#include "net/SocketNameLookup.h"
#include "net/SocketSendQueue.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nimbra {

class MessageWindow;
class SocketEventSource;

enum SocketState {
    wsInvalidState = 0,
    wsOpened = 1,
    wsBound = 2,
    wsConnecting = 3,
    wsConnected = 4,
    wsAccepting = 5,
    wsListening = 6,
    wsClosed = 7,
};

enum SocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum SocketSendFlags { wsSendNormal, wsSendUrgent };
// Bits of ComponentOptions.
enum AsyncSocketOption { wsoNoReceiveLoop = 1 };

// The socket proper: a non-blocking TCP (or UDP) socket whose progress arrives as events on
// the thread that created it, never inside the call that caused it, except where stated
// (a dotted-address lookup, a datagram connect, and the closes of Close and Abort).
//
// Every call returns at once. Events are driven by messages posted to the socket's own
// hidden message window: 1025 socket event, 1026 name lookup done, 1027 address lookup done,
// 1028 delayed close, 1029 delayed release, 1030 test exception. An exception escaping an
// event handler goes to OnBgException (CanClose preset to true) and then, when CanClose is
// still true, aborts the socket; no exception leaves the event loop.
//
// Error arguments of events are socket error numbers (SocketErrorCode), 0 for success.
// Layers above this class (SOCKS, line mode, and any later ones) take part by overriding the
// protected Trigger* steps; bytes reach and leave the system only through RealSend and
// RealReceive.
class CustomAsyncSocket {
public:
    using NotifyEvent = std::function<void(CustomAsyncSocket& sender)>;
    using ErrorEvent = std::function<void(CustomAsyncSocket& sender, std::uint16_t error)>;
    using ChangeStateEvent = std::function<void(CustomAsyncSocket& sender, SocketState oldState, SocketState newState)>;
    using SendDataEvent = std::function<void(CustomAsyncSocket& sender, int bytesSent)>;
    using BgExceptionEvent = std::function<void(CustomAsyncSocket& sender, const std::exception& e, bool& canClose)>;

    CustomAsyncSocket();
    virtual ~CustomAsyncSocket();
    CustomAsyncSocket(const CustomAsyncSocket&) = delete;
    CustomAsyncSocket& operator=(const CustomAsyncSocket&) = delete;

    // Addr, Port and Proto may be changed only while the socket is closed (else SocketException).
    const std::string& Addr() const { return endpoint_.addr(); }
    void SetAddr(const std::string& addr);
    const std::string& Port() const { return endpoint_.port(); }
    void SetPort(const std::string& port);
    const std::string& Proto() const { return endpoint_.proto(); }
    void SetProto(const std::string& proto);
    const std::string& LocalAddr() const { return endpoint_.localAddr(); }
    void SetLocalAddr(const std::string& addr) { endpoint_.setLocalAddr(addr); }
    const std::string& LocalPort() const { return endpoint_.localPort(); }
    void SetLocalPort(const std::string& port) { endpoint_.setLocalPort(port); }
    std::string PeerAddr() const;
    std::string PeerPort() const;
    const std::string& DnsResult() const { return names_.result(); }
    const std::vector<std::string>& DnsResultList() const { return names_.results(); }
    // The host text of the last DnsLookup, the name as the user gave it.
    const std::string& DnsLookupHost() const { return names_.host(); }
    SocketState State() const { return state_; }
    std::int64_t ReadCount() const { return readCount_; }
    // Bytes waiting to be read.
    virtual int RcvdCount() const;
    int LastError() const { return lastError_; }
    bool MultiThreaded() const { return multiThreaded_; }
    void SetMultiThreaded(bool on) { multiThreaded_ = on; }
    int ComponentOptions() const { return componentOptions_; }
    void SetComponentOptions(int options) { componentOptions_ = options; }
    int FlushTimeout() const { return flushTimeout_; }
    void SetFlushTimeout(int seconds) { flushTimeout_ = seconds; }
    SocketSendFlags SendFlags() const { return sendFlags_; }
    void SetSendFlags(SocketSendFlags flags) { sendFlags_ = flags; }
    SocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
    void SetLingerOnOff(SocketLingerOnOff value) { lingerOnOff_ = value; }
    int LingerTimeout() const { return lingerTimeout_; }
    void SetLingerTimeout(int seconds) { lingerTimeout_ = seconds; }
    // The system handle, -1 when none.
    int HSocket() const { return handle_.fd(); }
    // The local address and port the socket is bound to ("error" when none).
    std::string GetXAddr() const;
    std::string GetXPort() const;

    // Looks up host. A dotted address answers inside the call; a name answers later
    // (message 1026). An empty host reports 10022 and raises. A running lookup is cancelled.
    void DnsLookup(const std::string& host);
    // Looks up the name of a dotted address; the answer arrives later (message 1027).
    void ReverseDnsLookup(const std::string& address);
    void CancelDnsLookup();
    // Starts connecting to Addr:Port over Proto; OnSessionConnected reports the outcome.
    virtual void Connect();
    // Queues count bytes and sends what the system takes; returns count, or -1 (and raises
    // "Send") when not connected. OnDataSent follows, through the queue, once all is sent.
    int Send(const void* data, int count);
    // The text's bytes; an empty text sends nothing and returns 0.
    int SendStr(const std::string& text);
    // Reads up to size bytes: the count read, 0 when the peer has closed (or size is 0),
    // negative on error with LastError set (10035 when nothing is there yet).
    virtual int Receive(void* buffer, int size);
    // Everything readable now, as text (empty when nothing is there).
    std::string ReceiveStr();
    // Shuts the sending side, closes, reports OnSessionClosed(0) inside the call (once per
    // connection) and resets Addr, Port, Proto, the local settings and ReadCount.
    void Close();
    // As Close, but without shutdown and resetting a connected TCP connection.
    void Abort();
    void Shutdown(int how);
    // Waits, pumping events, until the send queue is empty or FlushTimeout seconds pass.
    void Flush();
    // Closes later, through the queue (message 1028).
    void CloseDelayed();
    // Destroys the socket later, through the queue (message 1029); only for sockets made
    // with new and owned by nobody else.
    void ReleaseDelayed();
    void Pause();
    void Resume();
    // Makes the socket raise a test exception from its event loop (message 1030).
    void PostTestException();

    // Adopts the handle of an accepted connection (ListeningSocket::Accept) as a connected one.
    void Dup(int handle);

    ErrorEvent OnDataAvailable;
    ErrorEvent OnDataSent;
    SendDataEvent OnSendData;
    ErrorEvent OnSessionClosed;
    // A client waits to be accepted (listening sockets only).
    ErrorEvent OnSessionAvailable;
    ErrorEvent OnSessionConnected;
    ChangeStateEvent OnChangeState;
    ErrorEvent OnDnsLookupDone;
    // Told of every socket error just before it is raised.
    ErrorEvent OnError;
    BgExceptionEvent OnBgException;

protected:
    virtual void TriggerSessionConnected(std::uint16_t error);
    // false when nobody took the event (the loop then discards up to 1,024 bytes).
    virtual bool TriggerDataAvailable(std::uint16_t error);
    virtual void TriggerDataSent(std::uint16_t error);
    virtual void TriggerSessionClosed(std::uint16_t error);
    virtual void TriggerDnsLookupDone(std::uint16_t error);

    // The only places where bytes go to and come from the system socket: the count moved,
    // or -1 with LastError set.
    virtual int RealSend(const char* data, int count);
    virtual int RealReceive(char* buffer, int count);
    // Called on an orderly close of a connected socket (Close, or the end after the peer's
    // close or an error), just before the sending side is shut; a layer's last bytes go here.
    virtual void BeforeShutdown() {}

    void ChangeState(SocketState newState);
    // For a socket kind that sets up its own handle (listening): the handle, the endpoint,
    // opening (failure raised as a socket error in function), raising a non-zero error, and
    // the event source for the open handle.
    SocketHandle& Handle() { return handle_; }
    SocketEndpoint& Endpoint() { return endpoint_; }
    void OpenSocket(const char* function);
    void Check(int error, const char* function);
    SocketEventSource& AttachEvents();
    // Asks for one write event when the system can take more (for bytes a layer holds itself).
    void AwaitWrite();
    // Raises "Error <LastError> in function <function>" with its text.
    [[noreturn]] void SocketError(const std::string& function);
    [[noreturn]] void RaiseException(const std::string& message);
    void SetLastError(int error) { lastError_ = error; }
    // Messages from the event source, the lookups and the delayed operations.
    void WndProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    void HandleSocketEvent(std::uint16_t event, std::uint16_t error);
    void ReceiveLoop(std::uint16_t error);
    void TryToSend();
    void InternalClose(bool shutdownFirst);
    void CloseAndReport(std::uint16_t error);
    void ResetSettings();
    void RequireClosed(const char* setting);
    void HandleBackgroundException(const std::exception& e);
    void ApplyStreamOptions();
    void RequireHost(const std::string& host);
    void LookupAnswered(int error);

    std::unique_ptr<MessageWindow> window_;
    SocketNameLookup names_;
    std::unique_ptr<SocketEventSource> events_;
    SocketHandle handle_;
    std::uintptr_t serial_ = 0;

    SocketEndpoint endpoint_;

    SocketState state_ = wsClosed;
    std::int64_t readCount_ = 0;
    int lastError_ = 0;
    bool multiThreaded_ = false;
    int componentOptions_ = 0;
    int flushTimeout_ = 60;
    SocketSendFlags sendFlags_ = wsSendNormal;
    SocketLingerOnOff lingerOnOff_ = wsLingerOn;
    int lingerTimeout_ = 0;

    SocketSendQueue sendQueue_;
    bool writePosted_ = false;
    bool paused_ = false;
    bool closeReported_ = false;
    bool destroying_ = false;
    unsigned receiveCalls_ = 0;
    int resetError_ = 0;  // the error of a reset connection, for the reads after it
};

} // namespace nimbra
