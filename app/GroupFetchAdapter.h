#pragma once

#include "app/GroupFetchView.h"

namespace nimbra {

class MainWindow;

// The main window as the "Get groups" flow sees it: the server fields, the splash window as
// the wait window, the window's enabled state, the list box refill and the message boxes.
// The window must outlive the adapter.
class GroupFetchAdapter : public GroupFetchView {
public:
    explicit GroupFetchAdapter(MainWindow& window) : window_(window) {}

    std::string hostText() const override;
    std::string portText() const override;
    std::string userNameText() const override;
    std::string passwordText() const override;
    bool askYesNo(const std::string& question) override;
    void showError(const std::string& text) override;
    void setWaitCaption(const std::string& text) override;
    void setStopVisible(bool visible) override;
    void showWaitWindow() override;
    void hideWaitWindow() override;
    void setMainWindowEnabled(bool enabled) override;
    void refillGroupList() override;
    bool tlsEnabled() const override;
    std::string acceptedCertificate(const std::string& host) const override;
    bool trustCertificate(const std::string& host, const std::string& fingerprint, const std::string& subject,
                          const std::string& reason) override;

private:
    MainWindow& window_;
};

} // namespace nimbra
