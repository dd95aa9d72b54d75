#pragma once

#include "mime/UuSessionState.h"

#include <string>

namespace nimbra {

struct UuJoinState;

// Where the files of the article being saved go, and the session's uudecoding state, as the
// decoder asks for them. The saving step points it at one article's state for the length of
// that article; outside an article it answers with defaults and ignores changes.
class SaveTarget : public UuSessionState {
public:
    // The download folder field as a folder ending in "/"; an empty field means the default
    // download folder, since saving relative to wherever the program was started is not
    // what anyone asked for.
    static std::string downloadFolder(const std::string& fieldText);
    // The download folder itself ("Save everything to this folder"), or the group's own
    // folder inside it. A group name comes from the server, so it is mapped to a safe folder
    // name (SafeName::mapped): the same group always gets the same folder, and no name leads
    // outside the download folder.
    static std::string targetFolder(const std::string& downloadFolder, bool oneFolder, const std::string& group);

    // state must stay alive until finish().
    void start(UuJoinState& state, std::string downloadFolder, std::string targetFolder);
    void finish();

    bool SameSubject() const override;
    bool UuPartOpen() const override;
    void SetUuPartOpen(bool open) override;
    bool UuEndSeen() const override;
    void SetUuEndSeen(bool seen) override;
    std::string LastFileName() const override;
    std::string DownloadFolder() const override { return downloadFolder_; }
    std::string TargetFolder() const override { return targetFolder_; }

private:
    UuJoinState* state_ = nullptr;
    std::string downloadFolder_;
    std::string targetFolder_;
};

} // namespace nimbra
