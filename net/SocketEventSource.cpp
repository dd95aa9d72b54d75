#include "net/SocketEventSource.h"

#include "platform/MessageWindow.h"
#include "platform/SocketErrorCode.h"

#include <QSocketNotifier>

#include <sys/socket.h>

#include <cerrno>

namespace nimbra {

SocketEventSource::SocketEventSource(int fd, std::uintptr_t serial, MessageWindow& window, unsigned message)
    : fd_(fd), serial_(serial), window_(window), message_(message),
      read_(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)),
      write_(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write))
{
    read_->setEnabled(false);
    write_->setEnabled(false);
    QObject::connect(read_.get(), &QSocketNotifier::activated, [this] { onReadable(); });
    QObject::connect(write_.get(), &QSocketNotifier::activated, [this] { onWritable(); });
}

SocketEventSource::~SocketEventSource() = default;

void SocketEventSource::watchConnect()
{
    connecting_ = true;
    write_->setEnabled(true);
}

void SocketEventSource::watchAccept()
{
    listening_ = true;
    read_->setEnabled(true);
}

void SocketEventSource::rearmRead()
{
    if (!closeSeen_ && !connecting_)
        read_->setEnabled(true);
}

void SocketEventSource::rearmAccept()
{
    if (listening_)
        read_->setEnabled(true);
}

void SocketEventSource::awaitWrite()
{
    if (!connecting_)
        write_->setEnabled(true);
}

void SocketEventSource::onReadable()
{
    read_->setEnabled(false);
    if (listening_) {
        post(FD_ACCEPT, 0);
        return;
    }
    char probe;
    const ssize_t count = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (count > 0) {
        post(FD_READ, 0);
    } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        read_->setEnabled(true);
    } else {
        // Orderly end (0) or a reset: everything before it has been read by now.
        closeSeen_ = true;
        post(FD_CLOSE, count == 0 ? 0 : SocketErrorCode::fromErrno(errno));
    }
}

void SocketEventSource::onWritable()
{
    write_->setEnabled(false);
    if (!connecting_) {
        post(FD_WRITE, 0);
        return;
    }
    connecting_ = false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    post(FD_CONNECT, SocketErrorCode::fromErrno(error));
    if (error == 0) {
        post(FD_WRITE, 0);
        read_->setEnabled(true);
    }
}

void SocketEventSource::post(SocketEvent event, int error)
{
    window_.post(message_, serial_, pack(event, error));
}

} // namespace nimbra
