#include "grouplist/SocketHandler.h"

#include "grouplist/ConnectThread.h"
#include "grouplist/ConnectionErrors.h"
#include "platform/SocketErrorCode.h"

#include <arpa/inet.h>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nimbra {
SocketHandler::SocketHandler() = default;

SocketHandler::~SocketHandler()
{
    close(false);
}

void SocketHandler::allocate()
{
    close(false);
    peerIp_.clear();
    peerPort_ = 0;
    localIp_.clear();
    localPort_ = 0;
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0)
        throw InvalidSocketError();
}

void SocketHandler::bind(const std::string& ip, int port)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    if (ip.empty() || ::inet_pton(AF_INET, ip.c_str(), &local.sin_addr) != 1)
        local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int code = SocketErrorCode::fromErrno(errno);
        if (code == SocketErrorCode::AddressInUse)
            throw CouldNotBindSocketError();
        throw SocketError(code);
    }
}

bool SocketHandler::connecting() const
{
    return connect_ != nullptr;
}

void SocketHandler::setPeer(const std::string& ip, int port)
{
    peerIp_ = ip;
    peerPort_ = port;
}

sockaddr_in SocketHandler::peerAddress() const
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(peerPort_));
    ::inet_pton(AF_INET, peerIp_.c_str(), &peer.sin_addr);
    return peer;
}

void SocketHandler::connectDirect()
{
    const sockaddr_in peer = peerAddress();
    int result;
    do {
        result = ::connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    } while (result != 0 && errno == EINTR);
    if (result != 0)
        throw SocketError(SocketErrorCode::fromErrno(errno));
    updateLocalAddress();
}

void SocketHandler::startConnect()
{
    connect_ = std::make_unique<ConnectThread>(socket_, peerAddress());
}

bool SocketHandler::waitConnect(int ms)
{
    if (!connect_)
        return true;
    if (!connect_->waitFor(ms))
        return false;
    if (connect_->error() == 0)
        updateLocalAddress();
    return true;
}

int SocketHandler::connectError() const
{
    return connect_ ? connect_->error() : 0;
}

void SocketHandler::endConnect()
{
    if (connect_)
        connect_->cancel();
    connect_.reset();
}

void SocketHandler::updateLocalAddress()
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    localIp_ = text;
    localPort_ = ntohs(local.sin_port);
}

bool SocketHandler::readable(int ms)
{
    pollfd wait{socket_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&wait, 1, ms < 0 ? -1 : ms);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        throw SocketError(SocketErrorCode::fromErrno(errno));
    return ready > 0;
}

long SocketHandler::receive(char* buffer, std::size_t size)
{
    ssize_t count;
    do {
        count = ::recv(socket_, buffer, size, 0);
    } while (count < 0 && errno == EINTR);
    return count >= 0 ? static_cast<long>(count) : -SocketErrorCode::fromErrno(errno);
}

long SocketHandler::send(const char* bytes, std::size_t size)
{
    ssize_t count;
    do {
        count = ::send(socket_, bytes, size, MSG_NOSIGNAL);
    } while (count < 0 && errno == EINTR);
    return count >= 0 ? static_cast<long>(count) : -SocketErrorCode::fromErrno(errno);
}

void SocketHandler::close(bool shutdownSends)
{
    endConnect();
    if (socket_ < 0)
        return;
    if (shutdownSends)
        ::shutdown(socket_, SHUT_WR);
    ::close(socket_);
    socket_ = -1;
}

} // namespace nimbra
