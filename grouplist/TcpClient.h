#pragma once

#include "grouplist/TcpConnection.h"

#include <string>

namespace nimbra {

// A TcpConnection that connects itself to Host:Port.
class TcpClient : public TcpConnection {
public:
    // A connect with the wait pump in use and no time-out of its own gives up after this.
    static constexpr int DefaultConnectTimeout = 120000;

    std::string Host;
    int Port = 0;
    std::string BoundIP;
    int BoundPort = 0;

    ConnectionEvent OnConnected;

    // Encrypts the connection: after the TCP connect, and as part of OpenConnection, the TLS
    // handshake runs (its waits pumped as the connect's, within the same time-out) and the
    // server's certificate is checked against the system's trusted store and Host; a
    // certificate the store does not trust passes only when its SHA-256 fingerprint is
    // TlsAcceptedFingerprint. A failure raises TlsConnectionError. Read at each connect.
    bool UseTls = false;
    std::string TlsAcceptedFingerprint;
    // The certificate the server showed in the last TLS connect, also when it was refused.
    const std::string& TlsPeerFingerprint() const { return tlsPeerFingerprint_; }
    const std::string& TlsPeerSubject() const { return tlsPeerSubject_; }

    // Connects. timeout in ms; -1 takes the default (120,000 ms when the wait pump is in use,
    // else the system's own connect), -2 waits without limit. A connect that needs longer
    // raises ConnectTimeoutError; a refused one ConnectException (10061). On any failure the
    // socket is closed again. Handlers run meanwhile may close the connection, which ends
    // the connect with ConnClosedGracefullyError.
    void OpenConnection(int timeout = -1);

private:
    void threadedConnect(int timeout);
    void tlsHandshake(int timeout);

    std::string tlsPeerFingerprint_;
    std::string tlsPeerSubject_;
};

} // namespace nimbra
