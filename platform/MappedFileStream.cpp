#include "platform/MappedFileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {
namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int error)
{
    throw std::runtime_error("cannot " + what + " " + path + ": " + std::strerror(error));
}

} // namespace

MappedFileStream::MappedFileStream(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        fail("open", path, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        fail("read", path, error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        fail("read", path, EINVAL);
    }
    size_ = static_cast<std::size_t>(info.st_size);
    if (size_ > 0) {
        void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped == MAP_FAILED) {
            const int error = errno;
            ::close(fd);
            fail("map", path, error);
        }
        ::madvise(mapped, size_, MADV_SEQUENTIAL);
        data_ = static_cast<const char*>(mapped);
    }
    ::close(fd);  // the mapping stays
}

MappedFileStream::~MappedFileStream()
{
    if (data_)
        ::munmap(const_cast<char*>(data_), size_);
}

std::size_t MappedFileStream::read(char* buffer, std::size_t count)
{
    if (position_ >= size_)
        return 0;
    const std::size_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

void MappedFileStream::seek(std::int64_t position)
{
    position_ = position < 0 ? 0 : static_cast<std::size_t>(position);
}

} // namespace nimbra
