#include "app/SessionViewAdapter.h"

#include "app/ButtonRow.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/ServerCertificates.h"
#include "app/StatusPanels.h"

#include <QPushButton>

namespace nimbra {

void SessionViewAdapter::setPanelText(Panel panel, const std::string& text)
{
    window_.statusPanels()->setPanelText(panel, text);
}

void SessionViewAdapter::setGetFilesEnabled(bool enabled) { window_.buttonRow()->getFilesButton()->setEnabled(enabled); }
void SessionViewAdapter::setStopEnabled(bool enabled) { window_.buttonRow()->stopButton()->setEnabled(enabled); }
void SessionViewAdapter::inform(const std::string& text) { window_.dialogs().inform(text); }

bool SessionViewAdapter::trustCertificate(const std::string& host, const std::string& fingerprint,
                                          const std::string& subject, const std::string& reason)
{
    return ServerCertificates::askOnceInSettings(window_.dialogs(), host, fingerprint, subject, reason);
}

int SessionViewAdapter::groupCount() const { return window_.groupCount(); }
std::string SessionViewAdapter::groupText(int index) const { return window_.groupAt(index); }
bool SessionViewAdapter::groupSelected(int index) const { return window_.groupSelected(index); }

std::string SessionViewAdapter::hostText() const { return window_.fieldText(Field::Host); }
std::string SessionViewAdapter::portText() const { return window_.fieldText(Field::Port); }
std::string SessionViewAdapter::userNameText() const { return window_.fieldText(Field::UserName); }
std::string SessionViewAdapter::passwordText() const { return window_.fieldText(Field::Password); }
std::string SessionViewAdapter::timeoutText() const { return window_.fieldText(Field::Timeout); }
std::string SessionViewAdapter::articleCacheText() const { return window_.fieldText(Field::Cache); }
std::string SessionViewAdapter::minimumText() const { return window_.fieldText(Field::Minimum); }
std::string SessionViewAdapter::maximumText() const { return window_.fieldText(Field::Maximum); }
std::string SessionViewAdapter::downloadFolderText() const { return window_.fieldText(Field::Folder); }
bool SessionViewAdapter::saveToOneFolder() const { return !window_.separateByGroups(); }

} // namespace nimbra
