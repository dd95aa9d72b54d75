#pragma once

#include "app/Dialogs.h"
#include "download/RunOutcome.h"

namespace nimbra {

// The dialogs of an unattended run, where nobody is there to answer a message box: questions
// are answered Yes without a word on the output (the log records them); messages go to
// standard error, each on one line; no folder is chosen.
// It is not attended(), so no certificate is trusted on the user's behalf. Every message is
// an error the window would show in a box; with an outcome attached, each one also marks the
// run as ended with an error, so that the unattended run does not end with status 0.
class ConsoleDialogs : public Dialogs {
public:
    // The outcome must outlive these dialogs; null detaches.
    void setOutcome(RunOutcome* outcome) { outcome_ = outcome; }
    bool ask(const std::string& text) override;
    void inform(const std::string& text) override;
    bool chooseFolder(const std::string& title, const std::string& rootName, std::string& path) override;
    bool attended() const override { return false; }

private:
    RunOutcome* outcome_ = nullptr;
};

} // namespace nimbra
