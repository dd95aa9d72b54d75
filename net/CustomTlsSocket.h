#pragma once

#include "net/CustomSocksSocket.h"

#include <memory>
#include <string>

namespace nimbra {

class TlsSession;

// The TLS layer. Off by default: every call and event passes straight through. With
// TlsEnabled set when Connect is called, the connection is encrypted: once TCP connects, the
// handshake runs (the layers above see nothing of it), the server's certificate is checked
// (TlsSession: the system's trusted store, the server name, TlsAcceptedFingerprint), and only
// then does OnSessionConnected(0) fire. After that, Send takes and Receive gives plain bytes;
// what goes to and comes from the system is encrypted.
//
// A failed handshake fires OnSessionConnected with TlsSession's error number (30001
// certificate not trusted, 30002 name mismatch, 30003 handshake failed, also for a server
// that closes or resets meanwhile) and closes the socket; TlsErrorText() then tells why, and
// TlsPeerFingerprint() names a refused certificate so the user can be asked to accept it.
// A broken record later is read as error 30004. An orderly close sends the close notice
// first; Abort does not. No plain byte is ever sent on a connection that was to be
// encrypted. TLS through a SOCKS server is refused at Connect.
//
// The settings keep across closes; a change takes effect at the next Connect. The server
// name checked is TlsServerName when set, else the host of the last DnsLookup, else Addr.
class CustomTlsSocket : public CustomSocksSocket {
public:
    CustomTlsSocket();
    ~CustomTlsSocket() override;

    bool TlsEnabled() const { return tlsEnabled_; }
    void SetTlsEnabled(bool on) { tlsEnabled_ = on; }
    const std::string& TlsServerName() const { return tlsServerName_; }
    void SetTlsServerName(const std::string& name) { tlsServerName_ = name; }
    // SHA-256 (64 lower-case hex digits) of a certificate the user accepted for this server.
    const std::string& TlsAcceptedFingerprint() const { return tlsAcceptedFingerprint_; }
    void SetTlsAcceptedFingerprint(const std::string& fingerprint) { tlsAcceptedFingerprint_ = fingerprint; }

    // True while the connection is encrypted (after the handshake, until the close).
    bool TlsActive() const { return phase_ == Open; }
    // Why the last TLS connection failed ("certificate not trusted: ..."); kept until a
    // handshake succeeds.
    const std::string& TlsErrorText() const { return tlsErrorText_; }
    // The certificate the server showed in the last finished handshake, also when it was
    // refused; empty when the handshake failed before a certificate came.
    const std::string& TlsPeerFingerprint() const { return tlsPeerFingerprint_; }
    const std::string& TlsPeerSubject() const { return tlsPeerSubject_; }

    void Connect() override;
    int RcvdCount() const override;

protected:
    void TriggerSessionConnected(std::uint16_t error) override;
    bool TriggerDataAvailable(std::uint16_t error) override;
    void TriggerDataSent(std::uint16_t error) override;
    void TriggerSessionClosed(std::uint16_t error) override;
    int RealSend(const char* data, int count) override;
    int RealReceive(char* buffer, int count) override;
    void BeforeShutdown() override;

private:
    enum Phase { Plain, Connecting, Handshaking, Open, Failed };
    std::string serverName() const;
    void advanceHandshake();
    void failHandshake(int error, const std::string& text);
    // Sends the encrypted bytes waiting; 0 when all went, else the socket error number
    // (10035 when the rest waits for the next write event).
    int flushCipher();
    // Moves what the system holds into the session: 1 bytes came (or the end), 0 nothing
    // yet, -1 an error (LastError set).
    int pullCipher();

    bool tlsEnabled_ = false;
    std::string tlsServerName_;
    std::string tlsAcceptedFingerprint_;
    std::string tlsErrorText_;
    std::string tlsPeerFingerprint_;
    std::string tlsPeerSubject_;

    Phase phase_ = Plain;
    std::unique_ptr<TlsSession> session_;
    std::string cipherOut_;    // encrypted, not yet taken by the system
    std::size_t cipherSent_ = 0;
    std::string early_;        // plain bytes sent before the handshake ended
    std::string scratch_;      // encrypted bytes on their way from the system
};

} // namespace nimbra
