#include "download/OpenWorkingFile.h"

#include "platform/Log.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <sys/stat.h>

namespace nimbra {

OpenWorkingFile::~OpenWorkingFile()
{
    close();
}

bool OpenWorkingFile::holds(const std::string& path) const
{
    if (!file_ || path != file_->path())
        return false;
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_dev == device_
        && status.st_ino == inode_;
}

bool OpenWorkingFile::write(const std::string& path, std::uint64_t offset, const char* data, std::size_t size)
{
    if (!file_ || path != file_->path()) {
        close();
        struct stat status {};
        try {
            file_ = std::make_unique<FileStream>(path, FileStream::Mode::OpenReadWrite);  // no link followed
        } catch (const std::exception& error) {
            qCWarning(logSaving).noquote() << "cannot open the working file:" << error.what();
            return false;
        }
        if (!file_->status(status) || !S_ISREG(status.st_mode)) {
            qCWarning(logSaving).noquote() << "the working file" << QString::fromStdString(path) << "is no regular file";
            close();
            return false;
        }
        device_ = status.st_dev;
        inode_ = status.st_ino;
    }
    if (!file_->writeAt(data, size, static_cast<std::int64_t>(offset))) {
        qCWarning(logSaving).noquote() << "cannot write the working file" << QString::fromStdString(path) << ":"
                                       << std::strerror(errno);
        file_.reset();  // said once: the close has nothing to add
        return false;
    }
    return true;
}

bool OpenWorkingFile::close()
{
    if (!file_)
        return true;
    const bool closed = file_->close();
    if (!closed)
        qCWarning(logSaving).noquote() << "the working file" << QString::fromStdString(file_->path())
                                       << "had a write or its close fail";
    file_.reset();
    return closed;
}

} // namespace nimbra
