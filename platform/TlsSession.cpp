#include "platform/TlsSession.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <mutex>

namespace nimbra {
namespace {

constexpr int MaxRecord = 16384;

bool isIpAddress(const std::string& host)
{
    unsigned char address[16];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 || ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

std::string hex(const unsigned char* bytes, unsigned count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// The client context with the trusted store loaded: loading it costs more than a handshake,
// so it is made once, and again only when SSL_CERT_FILE or SSL_CERT_DIR point elsewhere.
// The caller owns the reference returned.
SSL_CTX* clientContext()
{
    static std::mutex mutex;
    static SSL_CTX* shared = nullptr;
    static std::string sharedFor;
    const char* file = std::getenv("SSL_CERT_FILE");
    const char* dir = std::getenv("SSL_CERT_DIR");
    const std::string key = std::string(file ? file : "") + '\n' + (dir ? dir : "");
    std::lock_guard lock(mutex);
    if (!shared || key != sharedFor) {
        SSL_CTX* context = SSL_CTX_new(TLS_client_method());
        if (!context)
            return nullptr;
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
        // News servers often just close after QUIT; that is an end, not an attack on the data.
        SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
        // AES-128-GCM first, as common clients order them: as safe, and cheaper per byte on
        // a long download than AES-256. The server still has the last word.
        SSL_CTX_set_ciphersuites(context, "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256:TLS_AES_256_GCM_SHA384");
        SSL_CTX_set_default_verify_paths(context);
        SSL_CTX_set_verify(context, SSL_VERIFY_PEER, &TlsSession::verifyCallback);
        SSL_CTX_free(shared);
        shared = context;
        sharedFor = key;
    }
    SSL_CTX_up_ref(shared);
    return shared;
}

} // namespace

struct TlsSession::Impl {
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    BIO* input = nullptr;   // owned by ssl
    BIO* output = nullptr;  // owned by ssl
    // What the chain check found; the handshake is let run to its end and judged after it,
    // so that the certificate can be shown and compared with the accepted one.
    bool untrusted = false;
    std::string untrustedReason;
    bool nameMismatch = false;

    ~Impl()
    {
        SSL_free(ssl);
        SSL_CTX_free(ctx);
    }

};

int TlsSession::verifyCallback(int preverified, X509_STORE_CTX* store)
{
    if (preverified)
        return 1;
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* self = static_cast<Impl*>(SSL_get_app_data(ssl));
    const int error = X509_STORE_CTX_get_error(store);
    if (error == X509_V_ERR_HOSTNAME_MISMATCH || error == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        self->nameMismatch = true;
    } else if (!self->untrusted) {
        self->untrusted = true;
        self->untrustedReason = X509_verify_cert_error_string(error);
    }
    return 1;
}

const char* TlsSession::describe(int error)
{
    switch (error) {
    case CertificateNotTrusted: return "certificate not trusted";
    case NameMismatch: return "name mismatch";
    case HandshakeFailed: return "handshake failed";
    case ConnectionFailed: return "TLS connection failed";
    default: return "";
    }
}

TlsSession::TlsSession(const std::string& serverName, const std::string& acceptedFingerprint)
    : d(std::make_unique<Impl>()), serverName_(serverName), acceptedFingerprint_(acceptedFingerprint)
{
    d->ctx = clientContext();
    if (d->ctx)
        d->ssl = SSL_new(d->ctx);
    if (!d->ssl) {
        fail(HandshakeFailed, "no TLS context");
        return;
    }
    d->input = BIO_new(BIO_s_mem());
    d->output = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(d->input, -1);  // empty means "wait", until inputEnded()
    SSL_set_bio(d->ssl, d->input, d->output);
    SSL_set_app_data(d->ssl, d.get());
    SSL_set_connect_state(d->ssl);
    SSL_set_mode(d->ssl, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (isIpAddress(serverName_)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(d->ssl), serverName_.c_str());
    } else if (!serverName_.empty()) {
        SSL_set_tlsext_host_name(d->ssl, serverName_.c_str());
        SSL_set_hostflags(d->ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(d->ssl, serverName_.c_str());
    }
}

TlsSession::~TlsSession() = default;

void TlsSession::putInput(const char* data, std::size_t count)
{
    while (count > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(count, INT_MAX));
        BIO_write(d->input, data, chunk);
        data += chunk;
        count -= static_cast<std::size_t>(chunk);
    }
}

void TlsSession::inputEnded()
{
    inputEnded_ = true;
    BIO_set_mem_eof_return(d->input, 0);
}

bool TlsSession::takeOutput(std::string& out)
{
    const std::size_t waiting = BIO_ctrl_pending(d->output);
    if (waiting == 0)
        return false;
    const std::size_t start = out.size();
    out.resize(start + waiting);
    const int got = BIO_read(d->output, out.data() + start, static_cast<int>(waiting));
    out.resize(start + static_cast<std::size_t>(std::max(got, 0)));
    return got > 0;
}

std::size_t TlsSession::bufferedInput() const
{
    return BIO_ctrl_pending(d->input);
}

TlsSession::Progress TlsSession::fail(int error, const std::string& detail)
{
    if (error_ == 0) {
        error_ = error;
        errorText_ = std::string(describe(error)) + (detail.empty() ? "" : ": " + detail);
    }
    return Failed;
}

std::string TlsSession::reasonFromQueue(int sslResult)
{
    const int kind = SSL_get_error(d->ssl, sslResult);
    std::string reason;
    if (const unsigned long code = ERR_peek_error()) {
        const char* text = ERR_reason_error_string(code);
        reason = text ? text : "error " + std::to_string(ERR_GET_REASON(code));
    }
    ERR_clear_error();
    if (!reason.empty())
        return reason;
    if (inputEnded_ || kind == SSL_ERROR_SYSCALL || kind == SSL_ERROR_ZERO_RETURN)
        return "the server closed the connection";
    return "TLS error " + std::to_string(kind);
}

TlsSession::Progress TlsSession::handshake()
{
    if (error_ != 0)
        return Failed;
    if (established_)
        return Done;
    ERR_clear_error();
    const int result = SSL_do_handshake(d->ssl);
    if (result == 1) {
        if (!verifyPeer())
            return Failed;
        established_ = true;
        return Done;
    }
    if (SSL_get_error(d->ssl, result) == SSL_ERROR_WANT_READ && !inputEnded_)
        return NeedInput;
    noteCertificate();
    return fail(HandshakeFailed, reasonFromQueue(result));
}

void TlsSession::noteCertificate()
{
    X509* certificate = SSL_get0_peer_certificate(d->ssl);
    if (!certificate || !peerFingerprint_.empty())
        return;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) == 1)
        peerFingerprint_ = hex(digest, length);
    char subject[512];
    X509_NAME_oneline(X509_get_subject_name(certificate), subject, sizeof subject);
    peerSubject_ = subject;
}

bool TlsSession::verifyPeer()
{
    noteCertificate();
    if (peerFingerprint_.empty()) {
        fail(CertificateNotTrusted, "the server sent no certificate");
        return false;
    }
    if (serverName_.empty()) {
        fail(NameMismatch, "no server name to check the certificate against");
        return false;
    }
    if (d->nameMismatch) {
        fail(NameMismatch, "the certificate is not for " + serverName_);
        return false;
    }
    if (d->untrusted && peerFingerprint_ != acceptedFingerprint_) {
        fail(CertificateNotTrusted, d->untrustedReason);
        return false;
    }
    return true;
}

int TlsSession::read(char* buffer, int size)
{
    if (error_ != 0)
        return -2;
    if (size <= 0)
        return established_ ? 0 : -1;
    ERR_clear_error();
    const int result = SSL_read(d->ssl, buffer, size);
    if (result > 0)
        return result;
    switch (SSL_get_error(d->ssl, result)) {
    case SSL_ERROR_WANT_READ:
        return inputEnded_ ? 0 : -1;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    default:
        fail(ConnectionFailed, reasonFromQueue(result));
        return -2;
    }
}

std::size_t TlsSession::pendingPlain() const
{
    return error_ == 0 ? static_cast<std::size_t>(std::max(SSL_pending(d->ssl), 0)) : 0;
}

int TlsSession::write(const char* data, int size)
{
    if (error_ != 0 || !established_)
        return -2;
    if (size <= 0)
        return 0;
    ERR_clear_error();
    const int result = SSL_write(d->ssl, data, std::min(size, MaxRecord));
    if (result > 0)
        return result;
    fail(ConnectionFailed, reasonFromQueue(result));
    return -2;
}

void TlsSession::close()
{
    if (established_ && error_ == 0) {
        ERR_clear_error();
        SSL_shutdown(d->ssl);
        ERR_clear_error();
    }
}

} // namespace nimbra
