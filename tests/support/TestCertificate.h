#pragma once

#include <string>
#include <vector>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace nimbra::test {

// A key and a self-signed certificate made at run time with the TLS library, for the test
// servers: nothing is read from or kept in files but the trust file of trustInThisProcess().
class TestCertificate {
public:
    // Names each of names in the certificate (dotted or IPv6 addresses as IP entries, other
    // texts as DNS entries); the first is also the common name.
    explicit TestCertificate(const std::vector<std::string>& names);
    ~TestCertificate();
    TestCertificate(const TestCertificate&) = delete;
    TestCertificate& operator=(const TestCertificate&) = delete;

    // The certificate of this process for 127.0.0.1 and localhost, made on first use.
    static const TestCertificate& local();

    X509* certificate() const { return certificate_; }
    EVP_PKEY* key() const { return key_; }
    // SHA-256 of the certificate, as a TLS client session shows it.
    std::string fingerprint() const;
    std::string pem() const;
    // While the returned scope lives, every TLS client session opened in this process trusts
    // the certificate as the system's store would (through SSL_CERT_FILE, in the test's own
    // folder); its end restores the trust there was before.
    class TrustScope {
    public:
        explicit TrustScope(const std::string& file);
        ~TrustScope();
        TrustScope(const TrustScope&) = delete;
        TrustScope& operator=(const TrustScope&) = delete;

    private:
        std::string previousFile_, previousDir_;
        bool hadFile_ = false, hadDir_ = false;
    };
    [[nodiscard]] TrustScope trustInThisProcess() const;

private:
    X509* certificate_ = nullptr;
    EVP_PKEY* key_ = nullptr;
};

} // namespace nimbra::test
