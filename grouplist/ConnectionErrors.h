#pragma once

#include <stdexcept>
#include <string>

namespace nimbra {

// Every failure of the blocking connection and the group-list client is one of these, each
// with its fixed English text. Callers that only show the text catch ConnectionError.
class ConnectionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A socket call failed. code() is the socket error number (10061, 11001, ...); the text is
// "Socket Error # <code>\r\n<description>", the description empty for unlisted codes.
class SocketError : public ConnectionError {
public:
    explicit SocketError(int code);
    int code() const { return code_; }
    // The description of a socket error number; "" when the number is not a known one.
    static std::string description(int code);

protected:
    SocketError(int code, const std::string& message) : ConnectionError(message), code_(code) {}

private:
    int code_;
};

// The threaded connect failed; carries the socket error of the worker's connect.
class ConnectException : public SocketError {
public:
    explicit ConnectException(int code) : SocketError(code) {}
};

// A reply code outside the allowed ones. The text is the reply's text lines, each followed
// by CR LF.
class ProtocolReplyError : public ConnectionError {
public:
    ProtocolReplyError(int code, const std::string& message) : ConnectionError(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

class NntpConnectionRefusedError : public ProtocolReplyError {
public:
    NntpConnectionRefusedError() : ProtocolReplyError(502, "Connection explicitly refused by NNTP server.") {}
};

#define NIMBRA_FIXED_TEXT_ERROR(Name, Text)                     \
    class Name : public ConnectionError {                       \
    public:                                                     \
        Name() : ConnectionError(Text) {}                       \
    };

NIMBRA_FIXED_TEXT_ERROR(AlreadyConnectedError, "Already connected.")
NIMBRA_FIXED_TEXT_ERROR(InvalidSocketError, "Cannot allocate socket.")
NIMBRA_FIXED_TEXT_ERROR(CouldNotBindSocketError, "Could not bind socket. Address and port are already in use.")
NIMBRA_FIXED_TEXT_ERROR(ConnectTimeoutError, "Connect timed out.")
NIMBRA_FIXED_TEXT_ERROR(ConnClosedGracefullyError, "Connection Closed Gracefully.")
NIMBRA_FIXED_TEXT_ERROR(NotConnectedError, "Not Connected")
NIMBRA_FIXED_TEXT_ERROR(ReadTimeoutError, "Read Timeout")
NIMBRA_FIXED_TEXT_ERROR(MaxLineLengthExceededError, "Max line length exceeded.")
NIMBRA_FIXED_TEXT_ERROR(NoNewsgroupListHandlerError, "No OnNewsgroupList event has been defined.")

#undef NIMBRA_FIXED_TEXT_ERROR

} // namespace nimbra
