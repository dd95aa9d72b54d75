#pragma once

#include <stdexcept>
#include <string>

namespace nimbra {

// Raised by the socket classes for a failure found inside a call; the text is one of the
// fixed messages of the socket, or "Error <n> in function <name>" with the error's text.
class SocketException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace nimbra
