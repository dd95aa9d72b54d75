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
};

} // namespace nimbra
