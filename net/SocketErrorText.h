#pragma once

#include <string>

namespace nimbra {

// The texts of the socket error numbers (SocketErrorCode), as shown in socket error messages.
class SocketErrorText {
public:
    // "Connection refused" for 10061, ...; "Not a WinSock error" for a number outside the table.
    static const char* describe(int error);
    // "Error <error> in function <function>" CR LF <text>: the message of a socket error.
    static std::string message(int error, const std::string& function);
};

} // namespace nimbra
