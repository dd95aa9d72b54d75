#pragma once

#include <string>

#include <netinet/in.h>

namespace nimbra {

// The two ends of a socket as they are set (Addr, Port, Proto, the local address and port)
// and their resolved system forms. Setting a value marks it for resolving again; the resolve
// steps are blocking and raise SocketException with the resolver's texts, leaving what was
// resolved before them in place. Whether a value may change now is the socket's business.
class SocketEndpoint {
public:
    const std::string& addr() const { return addr_; }
    void setAddr(const std::string& addr);
    const std::string& port() const { return port_; }
    void setPort(const std::string& port);
    const std::string& proto() const { return proto_; }
    void setProto(const std::string& proto);
    const std::string& localAddr() const { return localAddr_; }
    void setLocalAddr(const std::string& addr);
    const std::string& localPort() const { return localPort_; }
    void setLocalPort(const std::string& port);
    bool addrAssigned() const { return addrAssigned_; }
    bool portAssigned() const { return portAssigned_; }
    bool protoAssigned() const { return protoAssigned_; }
    // What a connect still needs ("No Port Specified", ...), nullptr when nothing.
    const char* missingForConnect() const;

    // Resolves what changed since the last resolve: the protocol, both ports, the local
    // address, then the peer address.
    void resolveForConnect();
    // Resolves the protocol, and Addr:Port as the local end of a listening socket.
    void resolveForListen();
    void resolveProtocol();

    // 6 for TCP, 17 for UDP, as last resolved.
    int protocolNumber() const { return protocolNumber_; }
    // SOCK_STREAM or SOCK_DGRAM, as last resolved.
    int socketType() const { return socketType_; }
    const sockaddr_in& peer() const { return peer_; }
    const sockaddr_in& local() const { return local_; }
    // True when a local address or port other than the wildcard is set and resolved.
    bool bindsLocally() const;

    // Back to the settings of a new socket: nothing assigned but the protocol ("tcp"),
    // local end 0.0.0.0:0, nothing resolved.
    void reset();

    // The address or port of either end of an open handle, as text; "error" when there is
    // none (no handle, not bound or not connected).
    static std::string handleText(int fd, bool peer, bool port);

private:
    std::string addr_;
    std::string port_;
    std::string proto_ = "tcp";
    std::string localAddr_ = "0.0.0.0";
    std::string localPort_ = "0";
    bool addrAssigned_ = false;
    bool portAssigned_ = false;
    bool protoAssigned_ = true;
    bool addrResolved_ = false;
    bool portResolved_ = false;
    bool protoResolved_ = false;
    bool localAddrResolved_ = false;
    bool localPortResolved_ = false;
    sockaddr_in peer_{};
    sockaddr_in local_{};
    int protocolNumber_ = 6;
    int socketType_ = 1;  // SOCK_STREAM
};

} // namespace nimbra
