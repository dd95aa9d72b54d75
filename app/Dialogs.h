#pragma once

#include <string>

namespace nimbra {

// The window's message boxes and the folder chooser, behind one interface so that tests can
// answer them. Texts are the program's bytes (UTF-8 on this system).
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A confirmation with Yes and No; true on Yes.
    virtual bool ask(const std::string& text) = 0;
    // A message with OK.
    virtual void inform(const std::string& text) = 0;
    // The browse-for-folder dialog: title, the display name of its root, and the folder to
    // preselect in path. True, with the chosen folder in path, when the user confirms; path is
    // untouched on cancel.
    virtual bool chooseFolder(const std::string& title, const std::string& rootName, std::string& path) = 0;
    // Whether someone is there to answer. Without anyone (an unattended run), a question that
    // must not be answered on the user's behalf, such as trusting a certificate, is not asked.
    virtual bool attended() const { return true; }
};

} // namespace nimbra
