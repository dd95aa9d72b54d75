#pragma once

#include "download/SessionView.h"

namespace nimbra {

class ButtonRow;
class Dialogs;
class NewsGroupsPage;
class OptionsPage;
class SettingsFields;
class StatusPanels;

// The download session's view of the window's parts: the status panels, the "Get Files" and
// "Stop" buttons, the message boxes, the newsgroup list box, the save mode and the settings
// fields. Every part must outlive the adapter.
class SessionViewAdapter : public SessionView {
public:
    struct Parts {
        StatusPanels& panels;
        ButtonRow& buttons;
        NewsGroupsPage& newsGroups;
        OptionsPage& options;
        Dialogs& dialogs;
        const SettingsFields& fields;
    };

    explicit SessionViewAdapter(const Parts& parts) : parts_(parts) {}

    void setPanelText(Panel panel, const std::string& text) override;
    void setGetFilesEnabled(bool enabled) override;
    void setStopEnabled(bool enabled) override;
    void inform(const std::string& text) override;
    bool trustCertificate(const std::string& host, const std::string& fingerprint, const std::string& subject,
                          const std::string& reason) override;

    int groupCount() const override;
    std::string groupText(int index) const override;
    bool groupSelected(int index) const override;

    std::string hostText() const override;
    std::string portText() const override;
    std::string userNameText() const override;
    std::string passwordText() const override;
    std::string timeoutText() const override;
    std::string articleCacheText() const override;
    std::string minimumText() const override;
    std::string maximumText() const override;
    std::string downloadFolderText() const override;
    bool saveToOneFolder() const override;
    bool fastScanChosen() const override;
    std::string pipelineText() const override;
    std::string connectionsText() const override;
    bool compressionChosen() const override;
    bool skipKnownContent() const override;
    std::string subjectMatchText() const override;
    std::string subjectExcludeText() const override;

private:
    Parts parts_;
};

} // namespace nimbra
