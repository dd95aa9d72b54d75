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
};

} // namespace nimbra
