#pragma once

#include <string>

namespace nimbra {

class Dialogs;
class RegistryStore;

// The user's choice about a server whose TLS certificate the system does not trust, kept in
// the settings key beside that server's other settings (value "tlscert <host>"): the
// certificate accepted, or the one refused. The question is asked once per certificate: a
// server that later shows another certificate is asked about again, never let through.
// Nobody is asked when the dialogs are not attended: the certificate is refused for now and
// nothing is kept, so that the user still decides at the next attended connect.
class ServerCertificates {
public:
    explicit ServerCertificates(RegistryStore& store) : store_(store) {}

    // The SHA-256 fingerprint accepted for host; empty when none.
    std::string accepted(const std::string& host) const;
    // Asks, unless this certificate of host was decided before, whether to trust it; keeps
    // the answer and returns it.
    bool askOnce(Dialogs& dialogs, const std::string& host, const std::string& fingerprint,
                 const std::string& subject, const std::string& reason);

    // The same on the program's own settings store.
    static std::string acceptedInSettings(const std::string& host);
    static bool askOnceInSettings(Dialogs& dialogs, const std::string& host, const std::string& fingerprint,
                                  const std::string& subject, const std::string& reason);

private:
    std::string stored(const std::string& host) const;

    RegistryStore& store_;
};

} // namespace nimbra
