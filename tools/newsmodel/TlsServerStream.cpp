#include "tools/newsmodel/TlsServerStream.h"

#include "tools/newsmodel/ServerCertificate.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>
#include <csignal>

namespace nimbra::test {

TlsServerStream::TlsServerStream(int fd, const ServerCertificate& certificate)
{
    // The library writes with plain send(): a client that leaves while the server writes must
    // not end the server's process.
    static const bool pipeIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)pipeIgnored;
    ctx_ = SSL_CTX_new(TLS_server_method());
    if (ctx_ && SSL_CTX_use_certificate(ctx_, certificate.certificate()) == 1
        && SSL_CTX_use_PrivateKey(ctx_, certificate.key()) == 1)
        ssl_ = SSL_new(ctx_);
    if (ssl_) {
        SSL_set_fd(ssl_, fd);
        SSL_set_mode(ssl_, SSL_MODE_AUTO_RETRY);
    }
}

TlsServerStream::~TlsServerStream()
{
    SSL_free(ssl_);
    SSL_CTX_free(ctx_);
}

bool TlsServerStream::handshake()
{
    if (!ssl_) {
        error_ = "no TLS context";
        return false;
    }
    ERR_clear_error();
    if (SSL_accept(ssl_) == 1) {
        open_ = true;
        return true;
    }
    const unsigned long code = ERR_get_error();
    const char* reason = code ? ERR_reason_error_string(code) : nullptr;
    error_ = reason ? reason : "the client left during the handshake";
    ERR_clear_error();
    return false;
}

long TlsServerStream::receive(char* buffer, std::size_t size)
{
    if (!open_)
        return -1;
    ERR_clear_error();
    const int count = SSL_read(ssl_, buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
    if (count > 0)
        return count;
    const int kind = SSL_get_error(ssl_, count);
    ERR_clear_error();
    if (kind == SSL_ERROR_ZERO_RETURN)
        return 0;
    open_ = false;
    // A client that simply closes, without the close notice, is an end like any other here.
    return kind == SSL_ERROR_SYSCALL || kind == SSL_ERROR_SSL ? 0 : -1;
}

std::string TlsServerStream::serverName() const
{
    const char* name = ssl_ ? SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name) : nullptr;
    return name ? name : "";
}

bool TlsServerStream::pending() const
{
    return open_ && SSL_pending(ssl_) > 0;
}

bool TlsServerStream::send(const char* data, std::size_t size)
{
    while (open_ && size > 0) {
        ERR_clear_error();
        const int count = SSL_write(ssl_, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
        if (count <= 0) {
            ERR_clear_error();
            open_ = false;
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return open_;
}

void TlsServerStream::shutdown()
{
    if (open_)
        SSL_shutdown(ssl_);
    ERR_clear_error();
    open_ = false;
}

bool TlsServerStream::closeNoticed() const
{
    return ssl_ && (SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN) != 0;
}

} // namespace nimbra::test
