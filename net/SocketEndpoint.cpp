#include "net/SocketEndpoint.h"

#include "net/SocketResolver.h"

#include <arpa/inet.h>
#include <sys/socket.h>

namespace nimbra {

void SocketEndpoint::setAddr(const std::string& addr)
{
    addr_ = addr;
    addrAssigned_ = true;
    addrResolved_ = false;
}

void SocketEndpoint::setPort(const std::string& port)
{
    port_ = port;
    portAssigned_ = true;
    portResolved_ = false;
}

void SocketEndpoint::setProto(const std::string& proto)
{
    proto_ = proto;
    protoAssigned_ = true;
    protoResolved_ = false;
}

void SocketEndpoint::setLocalAddr(const std::string& addr)
{
    localAddr_ = addr;
    localAddrResolved_ = false;
}

void SocketEndpoint::setLocalPort(const std::string& port)
{
    localPort_ = port;
    localPortResolved_ = false;
}

void SocketEndpoint::resolveForConnect()
{
    resolveProtocol();
    if (!portResolved_) {
        peer_.sin_port = htons(SocketResolver::port(port_, protocolNumber_));
        portResolved_ = true;
    }
    if (!localPortResolved_) {
        local_.sin_port = htons(SocketResolver::port(localPort_.empty() ? "0" : localPort_, protocolNumber_));
        localPortResolved_ = true;
    }
    if (!localAddrResolved_) {
        local_.sin_family = AF_INET;
        local_.sin_addr = SocketResolver::host(localAddr_.empty() ? "0.0.0.0" : localAddr_);
        localAddrResolved_ = true;
    }
    if (!addrResolved_) {
        peer_.sin_family = AF_INET;
        peer_.sin_addr = SocketResolver::host(addr_);
        addrResolved_ = true;
    }
}

void SocketEndpoint::resolveForListen()
{
    resolveProtocol();
    local_.sin_family = AF_INET;
    local_.sin_port = htons(SocketResolver::port(port_, protocolNumber_));
    local_.sin_addr = SocketResolver::host(addr_);
}

void SocketEndpoint::resolveProtocol()
{
    if (protoResolved_)
        return;
    protocolNumber_ = SocketResolver::protocol(proto_);
    socketType_ = protocolNumber_ == 17 ? SOCK_DGRAM : SOCK_STREAM;
    protoResolved_ = true;
}

bool SocketEndpoint::bindsLocally() const
{
    return local_.sin_port != 0 || local_.sin_addr.s_addr != INADDR_ANY;
}

void SocketEndpoint::reset()
{
    addrAssigned_ = portAssigned_ = false;
    proto_ = "tcp";
    protoAssigned_ = true;
    localAddr_ = "0.0.0.0";
    localPort_ = "0";
    addrResolved_ = portResolved_ = protoResolved_ = localAddrResolved_ = localPortResolved_ = false;
    peer_ = {};
    local_ = {};
}

std::string SocketEndpoint::handleText(int fd, bool peer, bool port)
{
    sockaddr_in end{};
    socklen_t length = sizeof end;
    char text[INET_ADDRSTRLEN];
    if (fd < 0 || (peer ? ::getpeername : ::getsockname)(fd, reinterpret_cast<sockaddr*>(&end), &length) != 0)
        return "error";
    if (port)
        return std::to_string(ntohs(end.sin_port));
    return ::inet_ntop(AF_INET, &end.sin_addr, text, sizeof text) ? text : "error";
}

const char* SocketEndpoint::missingForConnect() const
{
    if (!portAssigned_)
        return "No Port Specified";
    if (!addrAssigned_)
        return "No IP Address Specified";
    return protoAssigned_ ? nullptr : "No Protocol Specified";
}

} // namespace nimbra
