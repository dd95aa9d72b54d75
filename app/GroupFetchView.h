#pragma once

#include <string>

namespace nimbra {

// What the "Get groups" flow needs of the window: the server fields of the "News groups"
// page, the wait window (the splash window with its caption and "Stop" button), the main
// window's enabled state, the list box refill and the two message boxes. The main window
// implements it; every call comes on the GUI thread, some from inside a blocking fetch.
class GroupFetchView {
public:
    virtual ~GroupFetchView() = default;

    virtual std::string hostText() const = 0;
    virtual std::string portText() const = 0;
    virtual std::string userNameText() const = 0;
    virtual std::string passwordText() const = 0;

    // A confirmation box with Yes and No; true for Yes.
    virtual bool askYesNo(const std::string& question) = 0;
    // The default error report: a message box with the text.
    virtual void showError(const std::string& text) = 0;

    virtual void setWaitCaption(const std::string& text) = 0;
    virtual void setStopVisible(bool visible) = 0;
    virtual void showWaitWindow() = 0;
    virtual void hideWaitWindow() = 0;
    virtual void setMainWindowEnabled(bool enabled) = 0;

    // Fills the group list box from the full group list and the filter text.
    virtual void refillGroupList() = 0;

    // The "SSL/TLS" box, and the certificate the user accepted for host (empty: none).
    virtual bool tlsEnabled() const { return false; }
    virtual std::string acceptedCertificate(const std::string& /*host*/) const { return {}; }
    // Asks (once per certificate) whether to trust a certificate the system does not; true
    // when the user does, and then acceptedCertificate() gives it.
    virtual bool trustCertificate(const std::string& /*host*/, const std::string& /*fingerprint*/,
                                  const std::string& /*subject*/, const std::string& /*reason*/)
    {
        return false;
    }
};

} // namespace nimbra
