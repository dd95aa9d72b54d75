#include "platform/LogFile.h"

#include "platform/PrivateFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

LogFile::LogFile(std::string path, std::int64_t rotationBytes) : path_(std::move(path)), rotationBytes_(rotationBytes)
{
}

LogFile::~LogFile()
{
    std::lock_guard lock(mutex_);
    closeLocked();
}

bool LogFile::open()
{
    std::lock_guard lock(mutex_);
    return openLocked();
}

std::string LogFile::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

bool LogFile::openLocked()
{
    closeLocked();
    const std::string::size_type slash = path_.rfind('/');
    if (slash != std::string::npos && !PrivateFiles::ensureFolder(path_.substr(0, slash + 1))) {
        error_ = "cannot make the folder of " + path_;
        return false;
    }
    std::string reason;
    fd_ = PrivateFiles::openForAppend(path_, reason);
    if (fd_ < 0) {
        error_ = reason;
        return false;
    }
    struct stat info {};
    size_ = ::fstat(fd_, &info) == 0 ? info.st_size : 0;
    error_.clear();
    return true;
}

void LogFile::closeLocked()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void LogFile::rotateLocked()
{
    closeLocked();
    // The old file is our own (it was opened without following a link); a rename never
    // follows one either.
    if (::rename(path_.c_str(), (path_ + ".1").c_str()) != 0)
        error_ = "cannot rotate " + path_ + ": " + std::strerror(errno);
    openLocked();
}

bool LogFile::writeLine(const std::string& text)
{
    std::lock_guard lock(mutex_);
    const std::string line = text + '\n';
    if (fd_ >= 0 && size_ > 0 && size_ + static_cast<std::int64_t>(line.size()) > rotationBytes_)
        rotateLocked();
    if (fd_ < 0)
        return false;
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = "cannot write " + path_ + ": " + std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    size_ += static_cast<std::int64_t>(line.size());
    return true;
}

} // namespace nimbra
