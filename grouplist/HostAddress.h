#pragma once

#include <string>

namespace nimbra {

// The host rules of the blocking connect: which texts are addresses already and how a name
// becomes one (IPv4 only).
class HostAddress {
public:
    // Four parts split at ".", each a decimal byte value (1 to 3 digits, 0 to 255).
    static bool isDotted(const std::string& host);
    // "LOCALHOST" in any case is "127.0.0.1" without a lookup; a dotted address is returned
    // in its plain decimal form; any other name is looked up and its first IPv4 address
    // returned. A failed lookup throws SocketError (11001 for an unknown host).
    static std::string resolve(const std::string& host);
};

} // namespace nimbra
