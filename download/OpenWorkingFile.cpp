#include "download/OpenWorkingFile.h"

#include "platform/Log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

OpenWorkingFile::~OpenWorkingFile()
{
    close();
}

bool OpenWorkingFile::holds(const std::string& path) const
{
    if (fd_ < 0 || path != path_)
        return false;
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_dev == device_
        && status.st_ino == inode_;
}

bool OpenWorkingFile::write(const std::string& path, std::uint64_t offset, const char* data, std::size_t size)
{
    if (fd_ < 0 || path != path_) {
        close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        struct stat status {};
        if (fd_ < 0 || ::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
            qCWarning(logSaving).noquote() << "cannot open the working file" << QString::fromStdString(path) << ":"
                                           << std::strerror(errno);
            close();
            return false;
        }
        path_ = path;
        device_ = status.st_dev;
        inode_ = status.st_ino;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            qCWarning(logSaving).noquote() << "cannot write the working file" << QString::fromStdString(path) << ":"
                                           << (n < 0 ? std::strerror(errno) : "nothing written");
            close();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool OpenWorkingFile::close()
{
    if (fd_ < 0)
        return true;
    const bool closed = ::close(fd_) == 0;
    if (!closed)
        qCWarning(logSaving).noquote() << "closing the working file" << QString::fromStdString(path_) << "failed:"
                                       << std::strerror(errno);
    fd_ = -1;
    path_.clear();
    return closed;
}

} // namespace nimbra
