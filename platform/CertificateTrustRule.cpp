#include "platform/CertificateTrustRule.h"

#include "platform/TlsSession.h"

namespace nimbra {

bool CertificateTrustRule::mayAsk(int tlsError, const std::string& fingerprint, const std::string& acceptedFingerprint)
{
    return tlsError == TlsSession::CertificateNotTrusted && !fingerprint.empty() && fingerprint != acceptedFingerprint;
}

} // namespace nimbra
