#include "platform/PrivateFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

bool PrivateFiles::ensureFolder(const std::string& folder)
{
    if (folder.empty())
        return false;
    // Each missing component in turn, so that parents made here are private too.
    std::string::size_type at = folder[0] == '/' ? 1 : 0;
    while (at != std::string::npos) {
        at = folder.find('/', at);
        const std::string part = folder.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), FolderMode) != 0 && errno != EEXIST)
            return false;
        if (at != std::string::npos)
            ++at;
        if (at == folder.size())
            break;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PrivateFiles::ensureOwnFolder(const std::string& folder)
{
    if (!ensureFolder(folder))
        return false;
    struct stat info {};
    // lstat: a link in the program's place is left as it is, never changed through.
    if (::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 077) != 0)
        ::chmod(folder.c_str(), FolderMode);
    return true;
}

int PrivateFiles::openForAppend(const std::string& path, std::string& reason)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, FileMode);
    if (fd < 0) {
        reason = "cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        reason = path + " is not a file of this user; it is left alone";
        return -1;
    }
    if ((info.st_mode & 077) != 0)
        ::fchmod(fd, FileMode);
    return fd;
}

} // namespace nimbra
