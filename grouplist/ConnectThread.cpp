#include "grouplist/ConnectThread.h"

#include "platform/SocketErrorCode.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace nimbra {

ConnectThread::ConnectThread(int socket, const sockaddr_in& peer) : socket_(socket)
{
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "connect worker");
    try {
        worker_ = std::thread([this, peer] { run(peer); });
    } catch (...) {
        ::close(wake_[0]);
        ::close(wake_[1]);
        throw;
    }
}

ConnectThread::~ConnectThread()
{
    cancel();
    ::close(wake_[0]);
    ::close(wake_[1]);
}

// Connects without blocking and waits for either the socket or the wake pipe, so a cancel
// never has to close the socket under a thread that still uses it.
void ConnectThread::run(const sockaddr_in& peer)
{
    const int flags = ::fcntl(socket_, F_GETFL);
    ::fcntl(socket_, F_SETFL, flags | O_NONBLOCK);
    int error = 0;
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        error = errno;
        if (error == EINPROGRESS || error == EINTR) {
            pollfd waits[2] = {{socket_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
            int ready;
            do {
                ready = ::poll(waits, 2, -1);
            } while (ready < 0 && errno == EINTR);
            if (ready < 0) {
                error = errno;
            } else if (waits[1].revents != 0) {
                error = 0; // cancelled: the caller decides what that means
            } else {
                socklen_t length = sizeof error;
                if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    error = errno;
            }
        }
    }
    ::fcntl(socket_, F_SETFL, flags);
    // A socket closed under the worker is not a failure of the connect itself.
    if (error == EBADF || error == ENOTSOCK)
        error = 0;
    finish(SocketErrorCode::fromErrno(error));
}

void ConnectThread::finish(int error)
{
    std::lock_guard lock(mutex_);
    error_ = cancelled_ ? 0 : error;
    finished_ = true;
    changed_.notify_all();
}

bool ConnectThread::waitFor(int ms)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms > 0 ? ms : 0), [this] { return finished_; });
}

bool ConnectThread::finished() const
{
    std::lock_guard lock(mutex_);
    return finished_;
}

int ConnectThread::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

void ConnectThread::cancel()
{
    {
        std::lock_guard lock(mutex_);
        if (!finished_)
            cancelled_ = true;
    }
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(wake_[1], &byte, 1);
    if (worker_.joinable())
        worker_.join();
}

} // namespace nimbra
