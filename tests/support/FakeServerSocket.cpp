#include "tests/support/FakeServerSocket.h"

#include "net/DeflateStream.h"

#include "tests/support/LoopbackListener.h"
#include "tools/newsmodel/TlsServerStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace nimbra::test {

FakeServerSocket::FakeServerSocket(const ServerCertificate* tls) : certificate_(tls)
{
    if (::pipe(wake_) != 0)
        throw std::runtime_error("fake news server: pipe failed");
    listener_ = LoopbackListener::open(port_);
    if (listener_ < 0)
        throw std::runtime_error("fake news server: cannot listen on 127.0.0.1");
}

FakeServerSocket::~FakeServerSocket()
{
    closeConnection(false);
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

bool FakeServerSocket::waitReadable(int fd, int timeoutMs)
{
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        return !stopping_ && ready > 0 && fds[0].revents == 0;
    }
}

bool FakeServerSocket::acceptNext()
{
    closeConnection(false);
    if (!waitReadable(listener_))
        return false;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return false;
    {
        std::lock_guard lock(mutex_);
        connection_ = fd;
        input_.clear();
        inputStart_ = 0;
        ++accepted_;
    }
    if (certificate_) {
        tls_ = std::make_unique<TlsServerStream>(fd, *certificate_);
        tlsFailed_ = !tls_->handshake();
    }
    return true;
}

FakeServerSocket::ReadResult FakeServerSocket::readLine(std::string& line)
{
    for (;;) {
        if (stopping_)
            return Stopped;
        const std::size_t end = input_.find('\n', inputStart_);
        if (end != std::string::npos) {
            std::size_t stop = end;
            if (stop > inputStart_ && input_[stop - 1] == '\r')
                --stop;
            line.assign(input_, inputStart_, stop - inputStart_);
            inputStart_ = end + 1;
            return Line;
        }
        if (connection_ < 0 || tlsFailed_)
            return Closed;
        if (!(tls_ && tls_->pending()) && !waitReadable(connection_))
            return Stopped;
        char buffer[65536];
        const ssize_t count = tls_ ? tls_->receive(buffer, sizeof buffer) : ::recv(connection_, buffer, sizeof buffer, 0);
        if (count < 0 && !tls_ && errno == EINTR)
            continue;
        if (count <= 0)
            return stopping_ ? Stopped : Closed;
        input_.erase(0, inputStart_);
        inputStart_ = 0;
        if (!inflater_)
            input_.append(buffer, static_cast<std::size_t>(count));
        else if (!inflater_->process(buffer, static_cast<std::size_t>(count), input_))
            return Closed;  // no deflate stream: as good as gone
    }
}

bool FakeServerSocket::sendBytes(const std::string& plain)
{
    std::string compressed;
    if (deflater_)
        deflater_->process(plain.data(), plain.size(), compressed);
    const std::string& bytes = deflater_ ? compressed : plain;
    if (tls_) {
        if (!tlsFailed_ && !stopping_)
            tls_->send(bytes.data(), bytes.size());
        return !tlsFailed_ && !stopping_;
    }
    std::size_t sent = 0;
    while (connection_ >= 0 && sent < bytes.size() && !stopping_) {
        const ssize_t count = ::send(connection_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        sent += static_cast<std::size_t>(count);
    }
    return sent == bytes.size();
}

void FakeServerSocket::pause(int ms)
{
    waitReadable(-1, ms);
}

void FakeServerSocket::closeConnection(bool reset)
{
    if (connection_ < 0)
        return;
    if (reset) {
        const linger abortive{1, 0};
        ::setsockopt(connection_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    } else {
        if (tls_ && !tlsFailed_)
            tls_->shutdown();
        // Unread input would turn the close into a reset; take it first.
        ::shutdown(connection_, SHUT_WR);
        char buffer[4096];
        while (::recv(connection_, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
    }
    tls_.reset();
    tlsFailed_ = false;
    deflater_.reset();
    inflater_.reset();
    std::lock_guard lock(mutex_);
    ::close(connection_);
    connection_ = -1;
}

void FakeServerSocket::startCompression()
{
    deflater_ = std::make_unique<DeflateStream>(DeflateStream::Compress);
    inflater_ = std::make_unique<DeflateStream>(DeflateStream::Decompress);
    // What the client sent after its command is compressed already.
    std::string rest = input_.substr(inputStart_);
    input_.clear();
    inputStart_ = 0;
    if (!rest.empty())
        inflater_->process(rest.data(), rest.size(), input_);
}

void FakeServerSocket::stop()
{
    stopping_ = true;
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &byte, 1);
    std::lock_guard lock(mutex_);
    if (connection_ >= 0)
        ::shutdown(connection_, SHUT_RDWR);
}

} // namespace nimbra::test
