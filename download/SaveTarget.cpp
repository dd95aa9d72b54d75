#include "download/SaveTarget.h"

#include "download/UuJoinState.h"
#include "platform/AppPaths.h"
#include "platform/SafeName.h"

namespace nimbra {

std::string SaveTarget::downloadFolder(const std::string& fieldText)
{
    if (fieldText.empty())
        return AppPaths::defaultDownloadFolder();
    return fieldText.back() == '/' ? fieldText : fieldText + "/";
}

std::string SaveTarget::targetFolder(const std::string& downloadFolder, bool oneFolder, const std::string& group)
{
    if (oneFolder)
        return downloadFolder;
    return downloadFolder + SafeName::mapped(group) + "/";
}

void SaveTarget::start(UuJoinState& state, std::string downloadFolder, std::string targetFolder)
{
    state_ = &state;
    downloadFolder_ = std::move(downloadFolder);
    targetFolder_ = std::move(targetFolder);
}

void SaveTarget::finish()
{
    state_ = nullptr;
}

bool SaveTarget::SameSubject() const
{
    return state_ && state_->SameSubject;
}

bool SaveTarget::UuPartOpen() const
{
    return state_ && state_->UuPartOpen;
}

void SaveTarget::SetUuPartOpen(bool open)
{
    if (state_)
        state_->UuPartOpen = open;
}

bool SaveTarget::UuEndSeen() const
{
    return !state_ || state_->UuEndSeen;
}

void SaveTarget::SetUuEndSeen(bool seen)
{
    if (state_)
        state_->UuEndSeen = seen;
}

std::string SaveTarget::LastFileName() const
{
    return state_ ? state_->LastFileName : std::string();
}

} // namespace nimbra
