#pragma once

#include <QObject>

#include <string>

class QCheckBox;

namespace nimbra {

class Keyring;
class NewsGroupsPage;

// "Remember password" on the "News groups" page. While the box is ticked, the user name and
// password of the server in the host field are kept in the desktop keyring under the server's
// name (in lower case), never in the program's files; choosing that server again fills both
// in (a user name typed by hand must match) and ticks the box. Unticking removes the entry.
// Without a running keyring the box is disabled with a tooltip saying why, and nothing is
// kept anywhere. The page and the keyring must outlive this object; GUI thread.
class RememberedPassword : public QObject {
public:
    RememberedPassword(NewsGroupsPage& page, Keyring& keyring);

    // Fills in the account kept for the server in the host field, when the password field is
    // empty. Runs by itself when the host field is left.
    void recall();
    // Keeps the fields in the keyring when the box is ticked and a password is given. Runs by
    // itself when a field of the account is left; the window also calls it before closing.
    void keep();

    static std::string keyFor(const std::string& host);
    static constexpr const char* NoKeyringTip =
        "No desktop keyring (Secret Service) is running, so the password cannot be remembered; "
        "it is not kept anywhere else.";

private:
    void toggled(bool ticked);
    std::string host() const;

    NewsGroupsPage& page_;
    Keyring& keyring_;
    QCheckBox* box_;
};

} // namespace nimbra
