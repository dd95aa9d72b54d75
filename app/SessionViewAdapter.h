#pragma once

#include "download/SessionView.h"

namespace nimbra {

class MainWindow;

// The download session's view of the main window: its status panels, the "Get Files" and
// "Stop" buttons, its message boxes, the newsgroup list box and the settings fields. The
// window must outlive the adapter.
class SessionViewAdapter : public SessionView {
public:
    explicit SessionViewAdapter(MainWindow& window) : window_(window) {}

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

private:
    MainWindow& window_;
};

} // namespace nimbra
