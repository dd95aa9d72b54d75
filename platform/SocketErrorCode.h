#pragma once

namespace nimbra {

// The program reports socket failures by the classic Windows socket error numbers (10061 for
// a refused connection, 11001 for an unknown host, ...), so that every error value and text
// stays the same whatever the system underneath. These map this system's codes onto them.
class SocketErrorCode {
public:
    static constexpr int WouldBlock = 10035;
    static constexpr int InProgress = 10036;
    static constexpr int NotConnected = 10057;
    static constexpr int HostNotFound = 11001;

    // An errno value (EWOULDBLOCK, ECONNREFUSED, ...) as its socket error number.
    static int fromErrno(int error);
    // A getaddrinfo() result (EAI_NONAME, ...) as its socket error number.
    static int fromLookup(int error);
};

} // namespace nimbra
