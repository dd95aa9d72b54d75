#include "tools/delay_relay/DelayRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <list>
#include <string>
#include <vector>

namespace nimbra {
namespace {

using Clock = std::chrono::steady_clock;

// Bytes on their way in one direction: chunks stamped with the time they may go.
struct Direction {
    int from = -1;
    int to = -1;
    struct Chunk {
        Clock::time_point due;
        std::string bytes;  // an empty chunk stands for the close of from
    };
    std::deque<Chunk> queue;
    std::size_t queued = 0;        // bytes in queue
    Clock::time_point paced{};     // when the last chunk has left at the connection's rate
    std::size_t sent = 0;  // of the front chunk
    bool readClosed = false;
    bool writeClosed = false;
};

struct Connection {
    Direction up;    // client -> server
    Direction down;  // server -> client
    bool done() const { return up.writeClosed && down.writeClosed; }
};

int connectTarget(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "delay relay: cannot reach 127.0.0.1:%u: %s\n", port, std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// Reads what from holds into the queue, due after the delay and, with a rate (bytes per
// second, 0 for none), not before the bytes ahead of it have left at that rate.
void pull(Direction& d, std::chrono::milliseconds delay, std::int64_t rate)
{
    char buffer[65536];
    const ssize_t count = ::recv(d.from, buffer, sizeof buffer, 0);
    if (count > 0) {
        Clock::time_point due = Clock::now() + delay;
        if (rate > 0) {
            due = std::max(due, d.paced);
            d.paced = due + std::chrono::nanoseconds(count * std::int64_t{1000000000} / rate);
        }
        d.queue.push_back({due, std::string(buffer, static_cast<std::size_t>(count))});
        d.queued += static_cast<std::size_t>(count);
    } else if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        d.readClosed = true;
        d.queue.push_back({Clock::now() + delay, {}});
    }
}

// Sends the chunks that are due; passes a close on once its turn comes.
void push(Direction& d)
{
    const auto now = Clock::now();
    while (!d.writeClosed && !d.queue.empty() && d.queue.front().due <= now) {
        Direction::Chunk& chunk = d.queue.front();
        if (chunk.bytes.empty()) {
            ::shutdown(d.to, SHUT_WR);
            d.writeClosed = true;
            d.queue.clear();
            return;
        }
        const ssize_t count = ::send(d.to, chunk.bytes.data() + d.sent, chunk.bytes.size() - d.sent, MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return;
            d.writeClosed = true;  // the receiver is gone; drop the rest
            d.queue.clear();
            return;
        }
        d.sent += static_cast<std::size_t>(count);
        if (d.sent < chunk.bytes.size())
            return;
        d.sent = 0;
        d.queued -= chunk.bytes.size();
        d.queue.pop_front();
    }
}

} // namespace

DelayRelay::DelayRelay(std::uint16_t targetPort, int delayMs, std::uint16_t listenPort)
    : targetPort_(targetPort), delayMs_(delayMs), port_(listenPort)
{
}

DelayRelay::~DelayRelay()
{
    stop();
}

bool DelayRelay::start()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || ::pipe(wake_) != 0) {
        std::fprintf(stderr, "delay relay: cannot listen on 127.0.0.1:%u: %s\n", port_, std::strerror(errno));
        return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
    return true;
}

void DelayRelay::stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(wake_[1], &byte, 1);
    thread_.join();
    for (int fd : {listener_, wake_[0], wake_[1]})
        ::close(fd);
}

void DelayRelay::run()
{
    const std::chrono::milliseconds delay(delayMs_);
    // With a rate, read ahead only what the rate brings within the delay (and 64 KB more).
    const std::size_t ahead = rate_ > 0 ? static_cast<std::size_t>(rate_ * (delayMs_ + 10) / 1000) + 65536
                                        : std::numeric_limits<std::size_t>::max();
    std::list<Connection> connections;
    while (!stopping_) {
        std::vector<pollfd> fds = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        auto next = Clock::time_point::max();
        for (Connection& c : connections)
            for (Direction* d : {&c.up, &c.down}) {
                const bool waiting = !d->writeClosed && !d->queue.empty();
                if (!d->readClosed && d->queued < ahead)
                    fds.push_back({d->from, POLLIN, 0});
                if (waiting && d->queue.front().due <= Clock::now())
                    fds.push_back({d->to, POLLOUT, 0});
                else if (waiting)
                    next = std::min(next, d->queue.front().due);
            }
        int timeout = -1;
        if (next != Clock::time_point::max())
            timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count());
        ::poll(fds.data(), fds.size(), std::max(timeout, timeout < 0 ? -1 : 0));
        if (fds[0].revents & POLLIN) {
            const int client = ::accept(listener_, nullptr, nullptr);
            const int server = client >= 0 ? connectTarget(targetPort_) : -1;
            if (server >= 0) {
                const int on = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                ::fcntl(client, F_SETFL, ::fcntl(client, F_GETFL) | O_NONBLOCK);
                Connection& c = connections.emplace_back();
                c.up.from = c.down.to = client;
                c.up.to = c.down.from = server;
            } else if (client >= 0) {
                ::close(client);
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i)
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                for (Connection& c : connections)
                    for (Direction* d : {&c.up, &c.down})
                        if (d->from == fds[i].fd && !d->readClosed && (fds[i].events & POLLIN))
                            pull(*d, delay, rate_);
        for (auto it = connections.begin(); it != connections.end();) {
            push(it->up);
            push(it->down);
            if (it->done()) {
                ::close(it->up.from);
                ::close(it->up.to);
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Connection& c : connections) {
        ::close(c.up.from);
        ::close(c.up.to);
    }
}

} // namespace nimbra
