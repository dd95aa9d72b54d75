#include "app/SessionViewAdapter.h"

#include "app/ButtonRow.h"
#include "app/Dialogs.h"
#include "app/GroupListModel.h"
#include "app/NewsGroupsPage.h"
#include "app/OptionsPage.h"
#include "app/ServerCertificates.h"
#include "app/SettingsFields.h"
#include "app/StatusPanels.h"

#include <QPushButton>
#include <QRadioButton>

namespace nimbra {

void SessionViewAdapter::setPanelText(Panel panel, const std::string& text) { parts_.panels.setPanelText(panel, text); }
void SessionViewAdapter::setGetFilesEnabled(bool enabled) { parts_.buttons.getFilesButton()->setEnabled(enabled); }
void SessionViewAdapter::setStopEnabled(bool enabled) { parts_.buttons.stopButton()->setEnabled(enabled); }
void SessionViewAdapter::inform(const std::string& text) { parts_.dialogs.inform(text); }

bool SessionViewAdapter::trustCertificate(const std::string& host, const std::string& fingerprint,
                                          const std::string& subject, const std::string& reason)
{
    return ServerCertificates::askOnceInSettings(parts_.dialogs, host, fingerprint, subject, reason);
}

int SessionViewAdapter::groupCount() const { return parts_.newsGroups.model()->count(); }
std::string SessionViewAdapter::groupText(int index) const { return parts_.newsGroups.model()->entry(index); }
bool SessionViewAdapter::groupSelected(int index) const { return parts_.newsGroups.isSelected(index); }

std::string SessionViewAdapter::hostText() const { return parts_.fields.fieldText(Field::Host); }
std::string SessionViewAdapter::portText() const { return parts_.fields.fieldText(Field::Port); }
std::string SessionViewAdapter::userNameText() const { return parts_.fields.fieldText(Field::UserName); }
std::string SessionViewAdapter::passwordText() const { return parts_.fields.fieldText(Field::Password); }
std::string SessionViewAdapter::timeoutText() const { return parts_.fields.fieldText(Field::Timeout); }
std::string SessionViewAdapter::articleCacheText() const { return parts_.fields.fieldText(Field::Cache); }
std::string SessionViewAdapter::minimumText() const { return parts_.fields.fieldText(Field::Minimum); }
std::string SessionViewAdapter::maximumText() const { return parts_.fields.fieldText(Field::Maximum); }
std::string SessionViewAdapter::downloadFolderText() const { return parts_.fields.fieldText(Field::Folder); }
bool SessionViewAdapter::saveToOneFolder() const { return !parts_.options.perGroupButton()->isChecked(); }

bool SessionViewAdapter::fastScanChosen() const { return parts_.fields.fieldText(Field::FastScan) == "1"; }
std::string SessionViewAdapter::pipelineText() const { return parts_.fields.fieldText(Field::Pipeline); }
std::string SessionViewAdapter::connectionsText() const { return parts_.fields.fieldText(Field::Connections); }
bool SessionViewAdapter::compressionChosen() const { return parts_.fields.fieldText(Field::Compression) == "1"; }
bool SessionViewAdapter::skipKnownContent() const { return parts_.fields.fieldText(Field::SkipKnown) == "1"; }
std::string SessionViewAdapter::subjectMatchText() const { return parts_.fields.fieldText(Field::SubjectMatch); }
std::string SessionViewAdapter::subjectExcludeText() const { return parts_.fields.fieldText(Field::SubjectExclude); }

} // namespace nimbra
