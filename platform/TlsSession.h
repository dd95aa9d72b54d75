#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct x509_store_ctx_st;

namespace nimbra {

// The client side of one TLS connection, kept apart from any socket: the caller moves the
// encrypted bytes between the network and the session (putInput, takeOutput), so the same
// session serves a non-blocking socket driven by events and a blocking one driven by waits.
//
// The server's certificate must chain to the system's trusted store (OpenSSL's default
// paths, which SSL_CERT_FILE and SSL_CERT_DIR may redirect) and must name the server: a
// dotted IPv4 or an IPv6 address is checked as an IP address, any other text as a DNS name,
// which is also sent as SNI. A certificate the store does not trust is still accepted when
// its SHA-256 fingerprint equals acceptedFingerprint, the certificate the user chose to trust
// for this server; a name mismatch is never accepted.
//
// Failures carry an error number (the constants below, outside the socket error numbers) and
// a text that starts with the failure's fixed text ("certificate not trusted: ...").
// Not thread-safe; one thread at a time.
class TlsSession {
public:
    static constexpr int CertificateNotTrusted = 30001;
    static constexpr int NameMismatch = 30002;
    static constexpr int HandshakeFailed = 30003;
    static constexpr int ConnectionFailed = 30004;

    // The fixed text of an error number above ("certificate not trusted", ...); empty for
    // any other number.
    static const char* describe(int error);

    enum Progress { Done, NeedInput, Failed };

    TlsSession(const std::string& serverName, const std::string& acceptedFingerprint = {});
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Encrypted bytes that came from the server.
    void putInput(const char* data, std::size_t count);
    // The server closed its side: a handshake or read still waiting for input now fails or ends.
    void inputEnded();
    // Appends the encrypted bytes waiting to go to the server to out and forgets them;
    // false when there were none.
    bool takeOutput(std::string& out);
    // Encrypted input not yet consumed.
    std::size_t bufferedInput() const;

    // Advances the handshake with the input so far. Done once the server is verified;
    // NeedInput while it waits for the server (send takeOutput first); Failed for good.
    Progress handshake();
    bool established() const { return established_; }

    // Decrypted bytes: the count (> 0); 0 once the server ended the session (close_notify,
    // or its close after inputEnded); -1 when more input is needed; -2 on failure.
    int read(char* buffer, int size);
    // Decrypted bytes ready to be read without more input.
    std::size_t pendingPlain() const;
    // Encrypts up to size bytes (at most one 16 KB record per call): the count taken, or -2
    // on failure. Only after the handshake.
    int write(const char* data, int size);
    // Queues the close notice for the server (takeOutput sends it).
    void close();

    // 0 while nothing failed, else the error number of the failure.
    int error() const { return error_; }
    const std::string& errorText() const { return errorText_; }
    // SHA-256 of the server's certificate as 64 lower-case hex digits; empty until the
    // certificate has been seen. Set also when the certificate was refused.
    const std::string& peerFingerprint() const { return peerFingerprint_; }
    // The certificate's subject, one line, for asking the user; empty until seen.
    const std::string& peerSubject() const { return peerSubject_; }

    // The chain check's callback (OpenSSL's verify callback); public for the shared context.
    static int verifyCallback(int preverified, x509_store_ctx_st* store);

private:
    struct Impl;
    bool verifyPeer();
    void noteCertificate();
    Progress fail(int error, const std::string& detail);
    std::string reasonFromQueue(int sslResult);

    std::unique_ptr<Impl> d;
    std::string serverName_;
    std::string acceptedFingerprint_;
    bool established_ = false;
    bool inputEnded_ = false;
    int error_ = 0;
    std::string errorText_;
    std::string peerFingerprint_;
    std::string peerSubject_;
};

} // namespace nimbra
