#include "platform/MappedFileStream.h"

#include "platform/LargePages.h"

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

MappedFileStream::MappedFileStream(const std::string& path, std::size_t readLimit)
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
        const bool readingIn = size_ <= readLimit;
        data_ = readingIn ? readIn(fd, size_) : mapFile(fd, size_);
        if (!data_) {
            const int error = errno;
            ::close(fd);
            fail(readingIn ? "read" : "map", path, error);
        }
    }
    ::close(fd);  // the mapping stays
}

const char* MappedFileStream::mapFile(int fd, std::size_t size)
{
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    ::madvise(mapped, size, MADV_SEQUENTIAL);
    return static_cast<const char*>(mapped);
}

const char* MappedFileStream::readIn(int fd, std::size_t size)
{
    void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    // Large pages where the system gives them: fewer page faults and address translations.
    adviseLargePages(memory, size);
    auto* bytes = static_cast<char*>(memory);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, bytes + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;  // shorter than its size said: it shrank
            ::munmap(memory, size);
            errno = error;
            return nullptr;
        }
        done += static_cast<std::size_t>(n);
    }
    ::mprotect(memory, size, PROT_READ);
    return bytes;
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
