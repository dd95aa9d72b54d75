#pragma once

#include <cstdint>
#include <memory>

class QSocketNotifier;

namespace nimbra {

class MessageWindow;

// Socket event bits carried in the low word of an event notification's lParam; the error
// number travels in the high word.
enum SocketEvent : std::uint16_t {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_OOB = 4,
    FD_ACCEPT = 8,
    FD_CONNECT = 16,
    FD_CLOSE = 32,
};

// Watches one non-blocking system socket and posts its events as notifications (message,
// wParam = the connection's serial number, lParam = event | error << 16) to a message
// window, in the manner of window-message event selection:
// - connect completes once, with its error; a successful connect is followed by a write event;
// - read fires when bytes arrive and then stays quiet until rearmRead() (called by every
//   receive);
// - write fires again only after awaitWrite() (called by a send that would block);
// - the peer's close (or reset) fires once, only after every byte before it was read;
// - accept fires for each waiting connection until acceptDone() is called.
// Lives on the thread of the window; destroying it stops every notification at once.
class SocketEventSource {
public:
    SocketEventSource(int fd, std::uintptr_t serial, MessageWindow& window, unsigned message);
    ~SocketEventSource();
    SocketEventSource(const SocketEventSource&) = delete;
    SocketEventSource& operator=(const SocketEventSource&) = delete;

    void watchConnect();
    void watchAccept();
    void rearmRead();
    void awaitWrite();
    void rearmAccept();

    static std::intptr_t pack(SocketEvent event, int error) { return event | (error << 16); }

private:
    void onReadable();
    void onWritable();
    void post(SocketEvent event, int error);

    int fd_;
    std::uintptr_t serial_;
    MessageWindow& window_;
    unsigned message_;
    std::unique_ptr<QSocketNotifier> read_;
    std::unique_ptr<QSocketNotifier> write_;
    bool connecting_ = false;
    bool listening_ = false;
    bool closeSeen_ = false;
};

} // namespace nimbra
