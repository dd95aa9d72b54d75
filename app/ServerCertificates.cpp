#include "app/ServerCertificates.h"

#include "app/Dialogs.h"
#include "app/WindowSettings.h"
#include "platform/RegistryStore.h"

#include <algorithm>

namespace nimbra {
namespace {

constexpr const char* AcceptedMark = "accept ";
constexpr const char* RefusedMark = "refuse ";

std::string valueName(std::string host)
{
    std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
    return "tlscert " + host;
}

} // namespace

std::string ServerCertificates::stored(const std::string& host) const
{
    if (!store_.openKey(WindowSettings::SettingsKey, true))
        return {};
    const std::string value = store_.readString(valueName(host));
    store_.closeKey();
    return value;
}

std::string ServerCertificates::accepted(const std::string& host) const
{
    const std::string value = stored(host);
    return value.rfind(AcceptedMark, 0) == 0 ? value.substr(std::string(AcceptedMark).size()) : std::string();
}

bool ServerCertificates::askOnce(Dialogs& dialogs, const std::string& host, const std::string& fingerprint,
                                 const std::string& subject, const std::string& reason)
{
    if (fingerprint.empty())
        return false;
    const std::string value = stored(host);
    if (value == AcceptedMark + fingerprint)
        return true;
    if (value == RefusedMark + fingerprint)
        return false;
    const std::string description = "The server " + host + " shows a certificate that is not trusted (" + reason
                                    + ").\n\nCertificate: " + subject + "\nSHA-256: " + fingerprint;
    if (!dialogs.attended()) {
        dialogs.inform(description + "\n\nNot connected: nobody is there to decide whether to trust it.");
        return false;
    }
    const bool yes = dialogs.ask(description + "\n\nTrust this certificate for this server from now on?");
    if (store_.openKey(WindowSettings::SettingsKey, true)) {
        store_.writeString(valueName(host), (yes ? AcceptedMark : RefusedMark) + fingerprint);
        store_.closeKey();
    }
    return yes;
}

std::string ServerCertificates::acceptedInSettings(const std::string& host)
{
    RegistryStore store;
    return ServerCertificates(store).accepted(host);
}

bool ServerCertificates::askOnceInSettings(Dialogs& dialogs, const std::string& host, const std::string& fingerprint,
                                           const std::string& subject, const std::string& reason)
{
    RegistryStore store;
    return ServerCertificates(store).askOnce(dialogs, host, fingerprint, subject, reason);
}

} // namespace nimbra
