#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace nimbra {

// An append-only text file of one line per message, private to the user: its folder is made
// 0700 and the file 0600; a symlink in its place, or a file of another owner, is refused
// rather than followed. When a line would take the file past the rotation size, the file is
// renamed to "<path>.1" (replacing the older one) and a new file is started, so the log never
// takes more than about twice that size. Safe to call from any thread.
class LogFile {
public:
    static constexpr std::int64_t DefaultRotationBytes = 4 * 1024 * 1024;

    explicit LogFile(std::string path, std::int64_t rotationBytes = DefaultRotationBytes);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens (or creates) the file; false with the reason in error() when it cannot be used.
    bool open();
    // Appends text and a line end; false when the file is not open or the write failed.
    bool writeLine(const std::string& text);
    const std::string& path() const { return path_; }
    std::string error() const;

private:
    bool openLocked();
    void rotateLocked();
    void closeLocked();

    const std::string path_;
    const std::int64_t rotationBytes_;
    mutable std::mutex mutex_;
    int fd_ = -1;
    std::int64_t size_ = 0;
    std::string error_;
};

} // namespace nimbra
