#include "net/SocketHandle.h"

#include "platform/SocketErrorCode.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace nimbra {
namespace {

int lastSystemError()
{
    return SocketErrorCode::fromErrno(errno == EAGAIN ? EWOULDBLOCK : errno);
}

int outcome(int result)
{
    return result == 0 ? 0 : lastSystemError();
}

// Connect failures the system may report at once that still answer the connect as such.
bool isConnectOutcome(int error)
{
    return error == ECONNREFUSED || error == ETIMEDOUT || error == ENETUNREACH || error == EHOSTUNREACH
        || error == ECONNRESET;
}

} // namespace

int SocketHandle::open(int type, int protocol)
{
    close();
    fd_ = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    return fd_ >= 0 ? 0 : lastSystemError();
}

void SocketHandle::adopt(int handle)
{
    close();
    fd_ = handle;
}

void SocketHandle::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int SocketHandle::setOption(int level, int name, int value)
{
    return outcome(::setsockopt(fd_, level, name, &value, sizeof value));
}

int SocketHandle::setLinger(bool on, int seconds)
{
    const linger value{on ? 1 : 0, seconds};
    return outcome(::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &value, sizeof value));
}

int SocketHandle::setStreamOptions(bool setLingerToo, bool lingerOn, int lingerSeconds, const char*& failedCall)
{
    int error = 0;
    if ((error = setOption(SOL_SOCKET, SO_REUSEADDR, 1)) != 0)
        failedCall = "setsockopt(SO_REUSEADDR)";
    else if (setLingerToo && (error = setLinger(lingerOn, lingerSeconds)) != 0)
        failedCall = "setsockopt(SO_LINGER)";
    else if ((error = setOption(SOL_SOCKET, SO_KEEPALIVE, 1)) != 0)
        failedCall = "setsockopt(SO_KEEPALIVE)";
    return error;
}

int SocketHandle::bind(const sockaddr_in& address)
{
    return outcome(::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address));
}

int SocketHandle::listen(int backlog)
{
    return outcome(::listen(fd_, backlog));
}

SocketHandle::ConnectStart SocketHandle::connect(const sockaddr_in& peer, int& error)
{
    error = 0;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 || errno == EINPROGRESS)
        return ConnectStart::Started;
    const bool answered = isConnectOutcome(errno);
    error = SocketErrorCode::fromErrno(errno);
    return answered ? ConnectStart::Answered : ConnectStart::Failed;
}

int SocketHandle::accept(int& error)
{
    if (fd_ < 0) {
        error = SocketErrorCode::fromErrno(ENOTSOCK);
        return -1;
    }
    const int handle = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    error = handle < 0 ? lastSystemError() : 0;
    return handle;
}

int SocketHandle::send(const char* data, int count, bool urgent, int& error)
{
    const ssize_t sent = ::send(fd_, data, static_cast<std::size_t>(count), MSG_NOSIGNAL | (urgent ? MSG_OOB : 0));
    error = sent < 0 ? lastSystemError() : 0;
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int SocketHandle::receive(char* buffer, int count, int& error)
{
    const ssize_t received = ::recv(fd_, buffer, static_cast<std::size_t>(count), 0);
    error = received < 0 ? lastSystemError() : 0;
    return received < 0 ? -1 : static_cast<int>(received);
}

int SocketHandle::pending() const
{
    int count = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &count) != 0)
        return 0;
    return count;
}

void SocketHandle::shutdown(int how)
{
    if (fd_ >= 0)
        ::shutdown(fd_, how);
}

} // namespace nimbra
