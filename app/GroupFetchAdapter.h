#pragma once

#include "app/GroupFetchView.h"

#include <functional>
#include <utility>

class QWidget;

namespace nimbra {

class Dialogs;
class SettingsFields;
class SplashWindow;

// The window's parts as the "Get groups" flow sees them: the server fields, the splash window
// as the wait window, the window to disable while it runs, the list box refill and the message
// boxes. Every part must outlive the adapter.
class GroupFetchAdapter : public GroupFetchView {
public:
    struct Parts {
        const SettingsFields& fields;
        Dialogs& dialogs;
        SplashWindow& splash;
        QWidget& window;
        std::function<void()> refill;
    };

    explicit GroupFetchAdapter(Parts parts) : parts_(std::move(parts)) {}

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
    Parts parts_;
};

} // namespace nimbra
