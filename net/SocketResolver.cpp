#include "net/SocketResolver.h"

#include "net/HostLookup.h"
#include "net/SocketException.h"
#include "platform/SocketErrorCode.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <string>
#include <vector>

namespace nimbra {

int SocketResolver::protocol(const std::string& proto)
{
    if (proto.empty())
        throw SocketException("ResolveProto: Invalid Protocol.");
    if (proto == "tcp" || proto == "6")
        return 6;
    if (proto == "udp" || proto == "17")
        return 17;
    throw SocketException("ResolveProto: Cannot convert protocol '" + proto + "', Error #"
                          + std::to_string(SocketErrorCode::NoData));
}

std::uint16_t SocketResolver::port(const std::string& port, int protocol)
{
    if (port.empty())
        throw SocketException("ResolvePort: Invalid Port.");
    if (port.find_first_not_of("0123456789") == std::string::npos) {
        if (port.size() > 5 || std::stoi(port) > 65535)
            throw SocketException("ResolvePort: Invalid Port.");
        return static_cast<std::uint16_t>(std::stoi(port));
    }
    if (port == "nntp")  // the one service name this program needs, whatever /etc/services says
        return 119;
    const servent* service = ::getservbyname(port.c_str(), protocol == 17 ? "udp" : "tcp");
    if (!service)
        throw SocketException("ResolvePort: Cannot convert port '" + port + "', Error #"
                              + std::to_string(SocketErrorCode::NoData));
    return ntohs(static_cast<std::uint16_t>(service->s_port));
}

in_addr SocketResolver::host(const std::string& host)
{
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) == 1)
        return address;
    std::vector<std::string> addresses;
    if (host.empty() || HostLookup::resolve(host, addresses) != 0)
        throw SocketException("ResolveHost: '" + host + "' Invalid Hostname.");
    ::inet_pton(AF_INET, addresses.front().c_str(), &address);
    return address;
}

} // namespace nimbra
