#pragma once

#include <cstdint>
#include <string>

#include <netinet/in.h>

namespace nimbra {

// The blocking resolving steps of a connect or listen. Each raises SocketException with the
// socket's fixed texts ("ResolvePort: Invalid Port.", ...), which connect prefixes itself.
class SocketResolver {
public:
    // 6 for "tcp" (or "6"), 17 for "udp" (or "17").
    static int protocol(const std::string& proto);
    // A port number (0 to 65535) or a service name for the protocol.
    static std::uint16_t port(const std::string& port, int protocol);
    // A dotted address directly; a name by a blocking lookup (the first address).
    static in_addr host(const std::string& host);
};

} // namespace nimbra
