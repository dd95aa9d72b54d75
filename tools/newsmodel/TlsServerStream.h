#pragma once

#include <cstddef>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace nimbra::test {

class ServerCertificate;

// The server side of TLS over one connected, blocking socket, for the demo and test servers.
// The socket stays the caller's (it is not closed here); shutting it down from another thread
// ends every wait of the stream with a failure. The certificate must outlive the stream. One
// stream is used by one thread at a time; streams on other sockets may run side by side.
class TlsServerStream {
public:
    TlsServerStream(int fd, const ServerCertificate& certificate);
    ~TlsServerStream();
    TlsServerStream(const TlsServerStream&) = delete;
    TlsServerStream& operator=(const TlsServerStream&) = delete;

    // Runs the server's handshake; false (with error()) when the client failed or left.
    bool handshake();
    const std::string& error() const { return error_; }
    // The name the client asked for (SNI); empty when it sent none.
    std::string serverName() const;
    // As recv(): the count of decrypted bytes, 0 once the client ended, -1 on failure.
    long receive(char* buffer, std::size_t size);
    // Decrypted bytes held that receive() returns without waiting for the socket.
    bool pending() const;
    // Sends everything; false on failure.
    bool send(const char* data, std::size_t size);
    // Sends the close notice (the caller then closes the socket).
    void shutdown();
    // The client sent its close notice: it ended the session rather than cutting it off.
    bool closeNoticed() const;

private:
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    bool open_ = false;
    std::string error_;
};

} // namespace nimbra::test
