#include "grouplist/HostAddress.h"

#include "grouplist/ConnectionErrors.h"
#include "platform/SocketErrorCode.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <vector>

namespace nimbra {
namespace {

// The byte values of a dotted address; empty when host is not one.
std::vector<int> dottedParts(const std::string& host)
{
    std::vector<int> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = host.find('.', start);
        const std::string part = host.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.size() > 3)
            return {};
        int value = 0;
        for (char c : part) {
            if (c < '0' || c > '9')
                return {};
            value = value * 10 + (c - '0');
        }
        if (value > 255)
            return {};
        parts.push_back(value);
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return parts.size() == 4 ? parts : std::vector<int>{};
}

bool isLocalhost(const std::string& host)
{
    static const std::string name = "localhost";
    if (host.size() != name.size())
        return false;
    for (std::size_t i = 0; i < host.size(); ++i) {
        const char c = host[i] >= 'A' && host[i] <= 'Z' ? static_cast<char>(host[i] - 'A' + 'a') : host[i];
        if (c != name[i])
            return false;
    }
    return true;
}

} // namespace

bool HostAddress::isDotted(const std::string& host)
{
    return !dottedParts(host).empty();
}

std::string HostAddress::resolve(const std::string& host)
{
    if (isLocalhost(host))
        return "127.0.0.1";
    const std::vector<int> parts = dottedParts(host);
    if (!parts.empty()) {
        // Written out again in decimal, so "010" stays ten and is never read as octal.
        return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "."
            + std::to_string(parts[3]);
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (result != 0 || !found)
        throw SocketError(result != 0 ? SocketErrorCode::fromLookup(result) : SocketErrorCode::HostNotFound);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
    ::freeaddrinfo(found);
    return text;
}

} // namespace nimbra
