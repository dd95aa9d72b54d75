#include "app/GroupFetchAdapter.h"

#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/ServerCertificates.h"
#include "app/SplashWindow.h"

#include <QPushButton>

namespace nimbra {

std::string GroupFetchAdapter::hostText() const { return window_.fieldText(Field::Host); }
std::string GroupFetchAdapter::portText() const { return window_.fieldText(Field::Port); }
std::string GroupFetchAdapter::userNameText() const { return window_.fieldText(Field::UserName); }
std::string GroupFetchAdapter::passwordText() const { return window_.fieldText(Field::Password); }

bool GroupFetchAdapter::askYesNo(const std::string& question) { return window_.dialogs().ask(question); }
void GroupFetchAdapter::showError(const std::string& text) { window_.dialogs().inform(text); }

void GroupFetchAdapter::setWaitCaption(const std::string& text) { window_.splashWindow()->setCaption(text); }
void GroupFetchAdapter::setStopVisible(bool visible) { window_.splashWindow()->stopButton()->setVisible(visible); }
void GroupFetchAdapter::showWaitWindow() { window_.splashWindow()->showAndPaint(); }
void GroupFetchAdapter::hideWaitWindow() { window_.splashWindow()->hide(); }
void GroupFetchAdapter::setMainWindowEnabled(bool enabled) { window_.setEnabled(enabled); }

void GroupFetchAdapter::refillGroupList() { window_.fillGroupList(); }

bool GroupFetchAdapter::tlsEnabled() const { return window_.fieldText(Field::Tls) == "1"; }

std::string GroupFetchAdapter::acceptedCertificate(const std::string& host) const
{
    return ServerCertificates::acceptedInSettings(host);
}

bool GroupFetchAdapter::trustCertificate(const std::string& host, const std::string& fingerprint,
                                         const std::string& subject, const std::string& reason)
{
    return ServerCertificates::askOnceInSettings(window_.dialogs(), host, fingerprint, subject, reason);
}

} // namespace nimbra
