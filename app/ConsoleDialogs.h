#pragma once

#include "app/Dialogs.h"

namespace nimbra {

// The dialogs of an unattended run, where nobody is there to answer a message box: questions
// are answered Yes without a word on the output (the log records them); messages go to
// standard error, each on one line; no folder is chosen.
// It is not attended(), so no certificate is trusted on the user's behalf.
class ConsoleDialogs : public Dialogs {
public:
    bool ask(const std::string& text) override;
    void inform(const std::string& text) override;
    bool chooseFolder(const std::string& title, const std::string& rootName, std::string& path) override;
    bool attended() const override { return false; }
};

} // namespace nimbra
