#pragma once

#include "app/Dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace nimbra::test {

// Answers the window's questions from a script and records everything it was shown. An
// unscripted question is answered No, so a test never blocks on a dialog.
class RecordingDialogs : public Dialogs {
public:
    bool ask(const std::string& text) override
    {
        questions.push_back(text);
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    void inform(const std::string& text) override { messages.push_back(text); }

    bool chooseFolder(const std::string& title, const std::string& rootName, std::string& path) override
    {
        folderTitles.push_back(title + "|" + rootName);
        preselected.push_back(path);
        if (!folderChoice)
            return false;
        path = folderChoice;
        return true;
    }

    bool attended() const override { return isAttended; }

    std::deque<bool> answers;
    bool isAttended = true;
    std::vector<std::string> questions;
    std::vector<std::string> messages;
    std::vector<std::string> folderTitles;
    std::vector<std::string> preselected;
    const char* folderChoice = nullptr;
};

} // namespace nimbra::test
