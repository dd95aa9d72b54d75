#include "tools/newsmodel/ServerCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <stdexcept>

namespace nimbra::test {
namespace {

bool isIpAddress(const std::string& name)
{
    unsigned char address[16];
    return ::inet_pton(AF_INET, name.c_str(), address) == 1 || ::inet_pton(AF_INET6, name.c_str(), address) == 1;
}

void addExtension(X509* certificate, int nid, const std::string& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    const bool added = extension && X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    if (!added)
        throw std::runtime_error("server certificate: cannot add extension " + value);
}

void setSerial(X509* certificate)
{
    unsigned char serial[8];
    if (RAND_bytes(serial, sizeof serial) != 1)
        throw std::runtime_error("server certificate: no random serial number");
    serial[0] &= 0x7F;
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool set = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
    BN_free(number);
    if (!set)
        throw std::runtime_error("server certificate: cannot set the serial number");
}

} // namespace

ServerCertificate::ServerCertificate(const std::vector<std::string>& names)
{
    if (names.empty())
        throw std::invalid_argument("server certificate: no name to make it for");
    // The destructor does not run for a constructor that throws: free what was made.
    try {
        build(names);
    } catch (...) {
        X509_free(certificate_);
        EVP_PKEY_free(key_);
        throw;
    }
}

ServerCertificate::~ServerCertificate()
{
    X509_free(certificate_);
    EVP_PKEY_free(key_);
}

void ServerCertificate::build(const std::vector<std::string>& names)
{
    key_ = EVP_EC_gen("P-256");
    certificate_ = X509_new();
    if (!key_ || !certificate_)
        throw std::runtime_error("server certificate: cannot make a key");
    X509_set_version(certificate_, 2);
    setSerial(certificate_);
    X509_gmtime_adj(X509_getm_notBefore(certificate_), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate_), 7 * 86400);
    X509_set_pubkey(certificate_, key_);
    X509_NAME* name = X509_get_subject_name(certificate_);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Nimbra File"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(names.front().c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(certificate_, name);
    std::string alternatives;
    for (const std::string& entry : names)
        alternatives += (alternatives.empty() ? "" : ",") + std::string(isIpAddress(entry) ? "IP:" : "DNS:") + entry;
    addExtension(certificate_, NID_subject_alt_name, alternatives);
    addExtension(certificate_, NID_basic_constraints, "critical,CA:TRUE");
    if (X509_sign(certificate_, key_, EVP_sha256()) == 0)
        throw std::runtime_error("server certificate: cannot sign");
}

std::string ServerCertificate::fingerprint() const
{
    static const char digits[] = "0123456789abcdef";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (X509_digest(certificate_, EVP_sha256(), digest, &length) != 1)
        return {};
    std::string text;
    for (unsigned i = 0; i < length; ++i) {
        text += digits[digest[i] >> 4];
        text += digits[digest[i] & 15];
    }
    return text;
}

std::string ServerCertificate::pem() const
{
    BIO* memory = BIO_new(BIO_s_mem());
    if (!memory || PEM_write_bio_X509(memory, certificate_) != 1) {
        BIO_free(memory);
        throw std::runtime_error("server certificate: cannot write it as PEM");
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(memory, &data);
    std::string text(data, static_cast<std::size_t>(length));
    BIO_free(memory);
    return text;
}

} // namespace nimbra::test
