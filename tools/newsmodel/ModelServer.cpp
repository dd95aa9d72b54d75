#include "tools/newsmodel/ModelServer.h"

#include "tools/newsmodel/TlsServerStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace nimbra::test {

// The handle stays open until the thread has been joined, so stop() never shuts a handle
// that has been reused. Everything but fd and done belongs to the connection's thread.
struct ModelServer::Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
    bool reset = false;
    std::unique_ptr<TlsServerStream> tls;  // over TLS: made and used by the thread
    std::string input;

    ~Connection()
    {
        if (thread.joinable())
            thread.join();
        tls.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {

// Waits until fd is readable or the wake pipe fires; false on wake, time-out or error.
bool waitReadable(int fd, int wake, int timeoutMs = -1)
{
    pollfd fds[2] = {{wake, POLLIN, 0}, {fd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0 && fds[0].revents == 0;
    }
}

} // namespace

ModelServer::ModelServer(ServerGreeting greeting, ServerResponder responder, std::uint16_t port,
                         const ServerCertificate* certificate)
    : greeting_(std::move(greeting)), responder_(std::move(responder)), certificate_(certificate)
{
    if (::pipe(wake_) != 0)
        throw std::runtime_error("cannot make a pipe");
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener_, 16) != 0
        || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        if (listener_ >= 0)
            ::close(listener_);
        ::close(wake_[0]);
        ::close(wake_[1]);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": "
                                 + std::string(std::strerror(error)));
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

ModelServer::~ModelServer()
{
    stop();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void ModelServer::stop()
{
    if (stopping_.exchange(true))
        return;
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &byte, 1);
    if (acceptor_.joinable())
        acceptor_.join();
    std::lock_guard lock(mutex_);
    // A connection blocked in a send to a client that does not read wakes up here.
    for (auto& connection : connections_)
        ::shutdown(connection->fd, SHUT_RDWR);
    connections_.clear();
}

void ModelServer::acceptLoop()
{
    while (!stopping_ && waitReadable(listener_, wake_[0])) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int index = accepted_++;
        std::lock_guard lock(mutex_);
        // Threads of connections that have ended are reaped here, so a long-running demo
        // server does not collect them.
        connections_.remove_if([](const std::unique_ptr<Connection>& c) { return c->done.load(); });
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        Connection& served = *connection;
        connections_.push_back(std::move(connection));
        served.thread = std::thread([this, &served, index] { serve(served, index); });
    }
}

void ModelServer::serve(Connection& connection, int index)
{
    FakeConnection state;
    state.index = index;
    bool open = true;
    if (certificate_) {
        // A client that never sends its hello is woken by stop() shutting the socket.
        connection.tls = std::make_unique<TlsServerStream>(connection.fd, *certificate_);
        open = connection.tls->handshake();
    }
    open = open && play(connection, greeting_(state));
    std::size_t start = 0;
    while (open && !stopping_) {
        const std::size_t end = connection.input.find('\n', start);
        if (end == std::string::npos) {
            connection.input.erase(0, start);
            start = 0;
            char buffer[16384];
            // Bytes the TLS layer holds already decrypted would not wake the poll.
            const bool held = connection.tls && connection.tls->pending();
            if (!held && !waitReadable(connection.fd, wake_[0]))
                break;
            const long count = connection.tls ? connection.tls->receive(buffer, sizeof buffer)
                                              : ::recv(connection.fd, buffer, sizeof buffer, 0);
            if (count < 0 && !connection.tls && errno == EINTR)
                continue;
            if (count <= 0)
                break;
            connection.input.append(buffer, static_cast<std::size_t>(count));
            continue;
        }
        std::string line = connection.input.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        state.received.push_back(line);
        try {
            open = play(connection, responder_(line, state));
        } catch (const std::exception&) {
            open = false;
        }
    }
    close(connection);
    connection.done = true;
}

void ModelServer::close(Connection& connection)
{
    if (!connection.reset) {
        if (connection.tls && !stopping_)
            connection.tls->shutdown();
        // Unread input would turn the close into a reset; take it first.
        ::shutdown(connection.fd, SHUT_WR);
        char buffer[4096];
        while (::recv(connection.fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
    }
    ::shutdown(connection.fd, SHUT_RDWR);
}

bool ModelServer::play(Connection& connection, const ServerScript& actions)
{
    for (const FakeStep& action : actions) {
        switch (action.kind) {
        case FakeStep::Send:
            if (!sendAll(connection, action.text))
                return false;
            break;
        case FakeStep::Silence:
            waitReadable(-1, wake_[0], action.ms);
            break;
        case FakeStep::Repeat:
            for (int i = 0; action.count == 0 || i < action.count; ++i) {
                if (!sendAll(connection, action.text))
                    return false;
                if (action.ms > 0)
                    waitReadable(-1, wake_[0], action.ms);
            }
            break;
        case FakeStep::Reset: {
            const linger abortive{1, 0};
            ::setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            connection.reset = true;
            return false;
        }
        default:  // Close, and anything a responder cannot wait for
            return false;
        }
    }
    return true;
}

bool ModelServer::sendAll(Connection& connection, const std::string& bytes)
{
    if (connection.tls)
        return !stopping_ && connection.tls->send(bytes.data(), bytes.size());
    std::size_t sent = 0;
    while (sent < bytes.size() && !stopping_) {
        const ssize_t count = ::send(connection.fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

} // namespace nimbra::test
