#include "platform/PasswordFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {
namespace {

constexpr std::size_t MaxBytes = 64 * 1024;

std::string octal(unsigned mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

} // namespace

std::optional<std::string> PasswordFile::read(const std::string& path, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    // The checks are made on what was opened, so a file swapped after the check is no way round them.
    struct stat info {};
    std::string problem;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        problem = "the password file " + path + " is not a regular file";
    else if (info.st_uid != ::geteuid())
        problem = "the password file " + path + " belongs to another user (uid " + std::to_string(info.st_uid)
                  + "); it must be your own";
    else if ((info.st_mode & 077) != 0)
        problem = "the password file " + path + " has mode " + octal(info.st_mode)
                  + "; it needs 0600 or 0400 (readable by you alone): chmod 600 " + path;
    std::string bytes;
    if (problem.empty()) {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                problem = "cannot read the password file " + path + ": " + std::strerror(errno);
            if (n <= 0 || bytes.size() > MaxBytes)
                break;
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    if (problem.empty() && bytes.size() > MaxBytes)
        problem = "the password file " + path + " is too large to hold a password";
    if (!problem.empty()) {
        error = problem;
        return std::nullopt;
    }
    std::string password = bytes.substr(0, bytes.find('\n'));
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (password.empty()) {
        error = "the password file " + path + " has no password on its first line";
        return std::nullopt;
    }
    return password;
}

} // namespace nimbra
