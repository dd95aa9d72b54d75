#pragma once

#include <string>
#include <vector>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace nimbra::test {

// A key and a self-signed certificate made at run time with the TLS library, for the servers
// on this machine (the demo news server, the test servers): nothing is read from or kept in
// files. The certificate is its own authority, so a client that trusts it (SSL_CERT_FILE
// naming its PEM) verifies the server as it would a real one.
class ServerCertificate {
public:
    // Names each of names in the certificate (dotted or IPv6 addresses as IP entries, other
    // texts as DNS entries); the first is also the common name. Throws std::runtime_error
    // when names is empty or the TLS library fails.
    explicit ServerCertificate(const std::vector<std::string>& names);
    ~ServerCertificate();
    ServerCertificate(const ServerCertificate&) = delete;
    ServerCertificate& operator=(const ServerCertificate&) = delete;

    // Owned by this object; valid while it lives.
    X509* certificate() const { return certificate_; }
    EVP_PKEY* key() const { return key_; }
    // SHA-256 of the certificate in lowercase hex, as a TLS client session shows it.
    std::string fingerprint() const;
    // The certificate alone (never the key) in PEM form.
    std::string pem() const;

private:
    void build(const std::vector<std::string>& names);

    X509* certificate_ = nullptr;
    EVP_PKEY* key_ = nullptr;
};

} // namespace nimbra::test
