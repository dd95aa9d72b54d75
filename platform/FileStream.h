#pragma once

#include "platform/Stream.h"

#include <string>
#include <sys/stat.h>

namespace nimbra {

// A stream over one open file. Small writes are buffered, large ones go straight to the file;
// a write error is remembered in failed()
// rather than thrown, so the caller can decide after the whole part whether the file is good.
class FileStream : public Stream {
public:
    enum class Mode { CreateNew, OpenReadWrite, OpenRead };

    // Throws std::runtime_error when the file cannot be opened in the given mode
    // (CreateNew fails when the file already exists; CreateNew and OpenReadWrite refuse a
    // symbolic link).
    FileStream(const std::string& path, Mode mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    std::size_t read(char* buffer, std::size_t count) override;
    std::size_t write(const char* data, std::size_t count) override;
    std::int64_t position() const override;
    void seek(std::int64_t position) override;
    std::int64_t size() const override;
    // Cuts the file to size bytes (or extends it with zeros); false when it could not.
    bool truncate(std::int64_t size);

    // Flushes buffered bytes and closes the file; returns false when any write failed.
    bool close();
    bool failed() const { return failed_; }
    const std::string& path() const { return path_; }
    // The open file's status (fstat); false when it cannot be had.
    bool status(struct stat& status) const;

    // Writes all of data at the file offset at, straight to the file, without moving
    // position() (for a caller that writes nothing else through the buffer); false (and
    // failed(), errno telling why) when it could not.
    bool writeAt(const char* data, std::size_t count, std::int64_t at);

private:
    bool flushBuffer();

    std::string path_;
    int fd_ = -1;
    std::string buffer_;
    std::int64_t position_ = 0;
    bool failed_ = false;
};

} // namespace nimbra
