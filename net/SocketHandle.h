#pragma once

#include <netinet/in.h>

namespace nimbra {

// The system socket handle and the raw calls on it. Failures come back as socket error
// numbers (SocketErrorCode); nothing here raises or reports events.
class SocketHandle {
public:
    // How a non-blocking connect began.
    enum class ConnectStart {
        Started,   // connected at once, or in progress: the outcome arrives as an event
        Answered,  // the system knew the outcome at once (refused, unreachable...): error holds it
        Failed,    // the call itself failed: error holds why
    };

    SocketHandle() = default;
    ~SocketHandle() { close(); }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // A new non-blocking, close-on-exec socket; 0 or the error.
    int open(int type, int protocol);
    // Takes over an already open handle (an accepted connection), closing any held one.
    void adopt(int handle);
    void close();

    // 0 or the error, for each of these.
    int setOption(int level, int name, int value);
    int setLinger(bool on, int seconds);
    // Address reuse and keep-alive on, and the linger setting when setLingerToo is true; 0, or
    // the error with the name of the call that failed in failedCall.
    int setStreamOptions(bool setLingerToo, bool lingerOn, int lingerSeconds, const char*& failedCall);
    int bind(const sockaddr_in& address);
    int listen(int backlog);
    ConnectStart connect(const sockaddr_in& peer, int& error);
    // The handle of a waiting client, or -1 with error set.
    int accept(int& error);

    // The count moved, or -1 with error set (WouldBlock when the system is not ready).
    int send(const char* data, int count, bool urgent, int& error);
    int receive(char* buffer, int count, int& error);
    // Bytes waiting to be read.
    int pending() const;
    void shutdown(int how);

private:
    int fd_ = -1;
};

} // namespace nimbra
