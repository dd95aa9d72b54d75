#pragma once

#include <string>

namespace nimbra {

// The one rule for a TLS connect that the certificate check refused, for the download run and
// "Get groups" alike: the user may be asked to trust the certificate only when the system does
// not trust it (not for a name mismatch or a failed handshake), the server showed one
// (fingerprint known), and it is not the one already accepted for the server (asking again
// would loop). Whatever the user answers is then kept by the caller's settings.
class CertificateTrustRule {
public:
    static bool mayAsk(int tlsError, const std::string& fingerprint, const std::string& acceptedFingerprint);
};

} // namespace nimbra
