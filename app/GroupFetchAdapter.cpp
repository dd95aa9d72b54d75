#include "app/GroupFetchAdapter.h"

#include "app/Dialogs.h"
#include "app/ServerCertificates.h"
#include "app/SettingsFields.h"
#include "app/SplashWindow.h"

#include <QPushButton>

namespace nimbra {

std::string GroupFetchAdapter::hostText() const { return parts_.fields.fieldText(Field::Host); }
std::string GroupFetchAdapter::portText() const { return parts_.fields.fieldText(Field::Port); }
std::string GroupFetchAdapter::userNameText() const { return parts_.fields.fieldText(Field::UserName); }
std::string GroupFetchAdapter::passwordText() const { return parts_.fields.fieldText(Field::Password); }

bool GroupFetchAdapter::askYesNo(const std::string& question) { return parts_.dialogs.ask(question); }
void GroupFetchAdapter::showError(const std::string& text) { parts_.dialogs.inform(text); }

void GroupFetchAdapter::setWaitCaption(const std::string& text) { parts_.splash.setCaption(text); }
void GroupFetchAdapter::setStopVisible(bool visible) { parts_.splash.stopButton()->setVisible(visible); }
void GroupFetchAdapter::showWaitWindow() { parts_.splash.showAndPaint(); }
void GroupFetchAdapter::hideWaitWindow() { parts_.splash.hide(); }
void GroupFetchAdapter::setMainWindowEnabled(bool enabled) { parts_.window.setEnabled(enabled); }

void GroupFetchAdapter::refillGroupList() { parts_.refill(); }

bool GroupFetchAdapter::tlsEnabled() const { return parts_.fields.fieldText(Field::Tls) == "1"; }

std::string GroupFetchAdapter::acceptedCertificate(const std::string& host) const
{
    return ServerCertificates::acceptedInSettings(host);
}

bool GroupFetchAdapter::trustCertificate(const std::string& host, const std::string& fingerprint,
                                         const std::string& subject, const std::string& reason)
{
    return ServerCertificates::askOnceInSettings(parts_.dialogs, host, fingerprint, subject, reason);
}

} // namespace nimbra
