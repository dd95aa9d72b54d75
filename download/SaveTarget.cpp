#include "download/SaveTarget.h"

#include "mime/NameText.h"
#include "platform/AppPaths.h"
#include "platform/SafeName.h"
#include "platform/UniqueFileName.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {
namespace {

constexpr const char* WorkingPrefix = ".nimbra-";
constexpr const char* WorkingSuffix = ".part";

std::string reason()
{
    return std::strerror(errno);
}

// Makes folder when missing; true when it is then a folder. A symbolic link is a folder here
// only when allowLink: the download folder is the user's choice, a group folder is ours.
bool ensureOneLevel(const std::string& folder, bool allowLink, std::string& why)
{
    // Without its trailing "/", so that lstat looks at a link itself.
    const std::string path = folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        why = "Cannot make folder \"" + folder + "\": " + reason();
        return false;
    }
    struct stat st {};
    if ((allowLink ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0 || !S_ISDIR(st.st_mode)) {
        why = "\"" + folder + "\" is not a folder" + (S_ISLNK(st.st_mode) ? " but a symbolic link" : "");
        return false;
    }
    return true;
}

std::string randomHex()
{
    static std::mt19937_64 generator{std::random_device{}()};
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Moves from to to unless to exists; false with errno set otherwise.
bool renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link fails on an existing name too.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

} // namespace

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

bool SaveTarget::isWorkingName(const std::string& name)
{
    const std::size_t prefix = std::strlen(WorkingPrefix);
    const std::size_t suffix = std::strlen(WorkingSuffix);
    return name.size() > prefix + suffix && name.compare(0, prefix, WorkingPrefix) == 0
        && name.compare(name.size() - suffix, suffix, WorkingSuffix) == 0 && name.find('/') == std::string::npos;
}

SaveTarget::SaveTarget(std::string downloadFolder, std::string targetFolder)
    : download_(std::move(downloadFolder)), target_(std::move(targetFolder))
{
}

std::unique_ptr<FileStream> SaveTarget::createWorking() const
{
    if (target_.empty())
        throw std::runtime_error("No folder to save into");
    std::string why;
    if (!ensureOneLevel(download_, true, why) || (target_ != download_ && !ensureOneLevel(target_, false, why)))
        throw std::runtime_error(why);
    for (int attempt = 0;; ++attempt) {
        const std::string path = target_ + WorkingPrefix + randomHex() + WorkingSuffix;
        try {
            return std::make_unique<FileStream>(path, FileStream::Mode::CreateNew);
        } catch (const std::exception&) {
            if (attempt >= 3)
                throw;  // not a name clash of random names: the folder refuses files
        }
    }
}

std::string SaveTarget::publish(const std::string& workingPath, const std::string& rawName) const
{
    const std::string folder = folderOf(workingPath);
    const std::string safe = SafeName::attachment(NameText::toUtf8(rawName));
    bool random = safe.empty();
    for (int attempt = 0; attempt < 20; ++attempt) {
        const std::string name = random ? UniqueFileName::randomJpg(folder) : UniqueFileName::free(folder, safe);
        if (renameNoReplace(workingPath, folder + name))
            return name;
        // A name taken since it was looked at is looked for again; a name the file system
        // refuses gives way to a random one.
        if (errno != EEXIST)
            random = true;
        if (errno != EEXIST && errno != ENAMETOOLONG && errno != EINVAL && errno != EILSEQ)
            break;
    }
    const std::string why = reason();
    discard(workingPath);
    throw std::runtime_error("Cannot name the file \"" + safe + "\" in \"" + folder + "\": " + why);
}

bool SaveTarget::ownsWorking(const std::string& path) const
{
    if (download_.empty() || path.compare(0, download_.size(), download_) != 0)
        return false;
    const std::string inside = path.substr(download_.size());
    const std::size_t slash = inside.find('/');
    const std::string name = slash == std::string::npos ? inside : inside.substr(slash + 1);
    if (!isWorkingName(name))
        return false;
    if (slash != std::string::npos) {
        // One folder level, made by the program from a group name: never "." or "..".
        const std::string group = inside.substr(0, slash);
        if (group.empty() || group[0] == '.')
            return false;
        struct stat folder {};
        if (::lstat((download_ + group).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
            return false;
    }
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void SaveTarget::discard(const std::string& workingPath)
{
    const std::size_t slash = workingPath.rfind('/');
    if (isWorkingName(slash == std::string::npos ? workingPath : workingPath.substr(slash + 1)))
        ::unlink(workingPath.c_str());
}

} // namespace nimbra
