#pragma once

#include "tools/newsmodel/ServerCertificate.h"

#include <string>
#include <vector>

namespace nimbra::test {

// A server certificate with what only tests need: one made once per test process for
// 127.0.0.1 and localhost, and trust in it for this process through a file in the test's
// own folder.
class TestCertificate : public ServerCertificate {
public:
    using ServerCertificate::ServerCertificate;

    // The certificate of this process for 127.0.0.1 and localhost, made on first use.
    static const TestCertificate& local();

    // While the returned scope lives, every TLS client session opened in this process trusts
    // the certificate as the system's store would (through SSL_CERT_FILE, in the test's own
    // folder, and an empty SSL_CERT_DIR, so nothing else is trusted); its end restores the
    // trust there was before.
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
};

} // namespace nimbra::test
