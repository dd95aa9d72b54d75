#include "tests/support/TestCertificate.h"

#include "tests/support/TestEnvironment.h"

#include <cstdlib>
#include <fstream>

namespace nimbra::test {

const TestCertificate& TestCertificate::local()
{
    static const TestCertificate certificate({"127.0.0.1", "localhost"});
    return certificate;
}

TestCertificate::TrustScope TestCertificate::trustInThisProcess() const
{
    const std::string path = TestEnvironment::makeFolder("trust") + fingerprint().substr(0, 16) + ".pem";
    std::ofstream(path, std::ios::binary) << pem();
    return TrustScope(path);
}

TestCertificate::TrustScope::TrustScope(const std::string& file)
{
    if (const char* value = std::getenv("SSL_CERT_FILE")) {
        hadFile_ = true;
        previousFile_ = value;
    }
    if (const char* value = std::getenv("SSL_CERT_DIR")) {
        hadDir_ = true;
        previousDir_ = value;
    }
    ::setenv("SSL_CERT_FILE", file.c_str(), 1);
    ::setenv("SSL_CERT_DIR", TestEnvironment::makeFolder("trust-dir").c_str(), 1);
}

TestCertificate::TrustScope::~TrustScope()
{
    if (hadFile_)
        ::setenv("SSL_CERT_FILE", previousFile_.c_str(), 1);
    else
        ::unsetenv("SSL_CERT_FILE");
    if (hadDir_)
        ::setenv("SSL_CERT_DIR", previousDir_.c_str(), 1);
    else
        ::unsetenv("SSL_CERT_DIR");
}

} // namespace nimbra::test
