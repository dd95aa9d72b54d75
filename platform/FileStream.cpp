#include "platform/FileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {
namespace {
constexpr std::size_t FlushThreshold = 256 * 1024;
}

FileStream::FileStream(const std::string& path, Mode mode) : path_(path)
{
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    case Mode::OpenReadWrite: flags |= O_RDWR | O_NOFOLLOW; break;
    case Mode::OpenRead: flags |= O_RDONLY; break;
    }
    fd_ = ::open(path.c_str(), flags, 0644);
    if (fd_ < 0)
        throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(errno));
}

FileStream::~FileStream()
{
    close();
}

bool FileStream::writeAt(const char* data, std::size_t count, std::int64_t at)
{
    std::size_t done = 0;
    while (done < count && !failed_) {
        const ssize_t n = ::pwrite(fd_, data + done, count - done, static_cast<off_t>(at) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;  // nothing taken: the device has no room
            failed_ = true;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    return !failed_;
}

bool FileStream::status(struct stat& status) const
{
    return fd_ >= 0 && ::fstat(fd_, &status) == 0;
}

bool FileStream::flushBuffer()
{
    if (!buffer_.empty())
        writeAt(buffer_.data(), buffer_.size(), position_ - static_cast<std::int64_t>(buffer_.size()));
    buffer_.clear();
    return !failed_;
}

std::size_t FileStream::read(char* buffer, std::size_t count)
{
    if (fd_ < 0)
        return 0;
    flushBuffer();
    ssize_t n;
    do {
        n = ::pread(fd_, buffer, count, static_cast<off_t>(position_));
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return 0;
    position_ += n;
    return static_cast<std::size_t>(n);
}

std::size_t FileStream::write(const char* data, std::size_t count)
{
    if (fd_ < 0 || count == 0)
        return 0;
    if (count >= FlushThreshold) {
        // A large run goes straight to the file, after what waits before it.
        flushBuffer();
        writeAt(data, count, position_);
    } else {
        buffer_.append(data, count);
    }
    position_ += static_cast<std::int64_t>(count);
    if (buffer_.size() >= FlushThreshold)
        flushBuffer();
    return count;
}

std::int64_t FileStream::position() const
{
    return position_;
}

void FileStream::seek(std::int64_t position)
{
    if (fd_ < 0)
        return;
    flushBuffer();
    if (position < 0)
        position = 0;
    position_ = position;
}

std::int64_t FileStream::size() const
{
    if (fd_ < 0)
        return 0;
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return 0;
    return std::max<std::int64_t>(st.st_size, position_);
}

bool FileStream::truncate(std::int64_t size)
{
    if (fd_ < 0 || !flushBuffer())
        return false;
    int result;
    do {
        result = ::ftruncate(fd_, static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool FileStream::close()
{
    if (fd_ < 0)
        return !failed_;
    flushBuffer();
    if (::close(fd_) != 0)
        failed_ = true;
    fd_ = -1;
    return !failed_;
}

} // namespace nimbra
