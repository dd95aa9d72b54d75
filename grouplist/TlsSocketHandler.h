#pragma once

#include "grouplist/SocketHandler.h"

#include <memory>
#include <string>

namespace nimbra {

class TlsSession;

// A blocking socket whose bytes travel through TLS. Once connected, the connection runs the
// handshake by its own pumped waits (handshakeStep, pullInput); afterwards receive, send and
// readable deal in plain bytes exactly as the plain socket does: readable() answers true
// only when plain bytes (or the end) can be read without waiting, so a record that arrives
// in pieces never blocks inside receive(). Failures throw TlsConnectionError.
class TlsSocketHandler : public SocketHandler {
public:
    // serverName is checked against the certificate (and sent as SNI when it is a name);
    // acceptedFingerprint is a certificate the user chose to trust for this server.
    TlsSocketHandler(const std::string& serverName, const std::string& acceptedFingerprint);
    ~TlsSocketHandler() override;

    // Advances the handshake with the input so far and sends what it has for the server:
    // true once the server is verified, false while it waits for the server's answer.
    bool handshakeStep();
    // Takes what the server sent into the handshake; call when readable() said so.
    void pullInput();
    // The certificate the server showed, also when it was refused; empty until seen.
    const std::string& peerFingerprint() const;
    const std::string& peerSubject() const;

    bool readable(int ms) override;
    long receive(char* buffer, std::size_t size) override;
    long send(const char* bytes, std::size_t size) override;
    void close(bool shutdownSends = true) override;

private:
    // Sends every encrypted byte the session holds: 0, or minus the socket error number.
    long flushOutput();
    [[noreturn]] void throwHandshakeFailed(int socketError);
    // Decrypts what the session holds into plain_; notes the end or a failure.
    void decrypt();
    [[noreturn]] void raise();

    std::unique_ptr<TlsSession> session_;
    std::string plain_;
    std::size_t plainStart_ = 0;
    bool ended_ = false;
    long socketError_ = 0;  // minus the socket error number of a failed receive
    std::string cipher_;
};

} // namespace nimbra
