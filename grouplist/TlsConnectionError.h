#pragma once

#include "grouplist/ConnectionErrors.h"

namespace nimbra {

// An encrypted connection failed: code() is the TLS error number (TlsSession: 30001
// certificate not trusted, 30002 name mismatch, 30003 handshake failed, 30004 a broken
// record later) and the text says why ("certificate not trusted: self-signed certificate").
class TlsConnectionError : public ConnectionError {
public:
    TlsConnectionError(int code, const std::string& message) : ConnectionError(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

} // namespace nimbra
