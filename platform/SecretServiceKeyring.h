#pragma once

#include "platform/Keyring.h"

#include <QString>

namespace nimbra {

// The desktop's Secret Service keyring (GNOME Keyring, KWallet) reached over D-Bus. Entries
// live under the service name given (one per program). Never falls back to a plain file: with
// no keyring running, available() is false and nothing is kept. Each call waits for its
// answer in a local event loop.
class SecretServiceKeyring : public Keyring {
public:
    explicit SecretServiceKeyring(QString service = QStringLiteral("Nimbra File"));

    bool available() override;
    std::optional<std::string> read(const std::string& key) override;
    bool write(const std::string& key, const std::string& secret) override;
    bool remove(const std::string& key) override;

private:
    QString service_;
    std::optional<bool> available_;  // probed once
};

} // namespace nimbra
