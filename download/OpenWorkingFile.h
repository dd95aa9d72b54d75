#pragma once

#include "platform/FileStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

namespace nimbra {

// The working file that a split file's parts were last written to, kept open for its next
// part. Parts of one file mostly come one after the other; opening, checking and closing the
// file for each took four system calls, a noticeable share of a part of some hundred KB.
// A part for the file held costs one lstat, which shows that its path still names that very
// file, and its write. Not copyable; one thread.
class OpenWorkingFile {
public:
    OpenWorkingFile() = default;
    ~OpenWorkingFile();
    OpenWorkingFile(const OpenWorkingFile&) = delete;
    OpenWorkingFile& operator=(const OpenWorkingFile&) = delete;

    // Whether path names the file held open: the same file (device and inode), still a
    // regular file there. A file deleted or replaced since is not held.
    bool holds(const std::string& path) const;
    // Writes size bytes at offset into the working file at path: the one held, or else opened
    // now (never through a link) in place of it. The caller has made sure that path is its
    // own working file. False when it cannot be opened or written; it is then not held.
    bool write(const std::string& path, std::uint64_t offset, const char* data, std::size_t size);
    // Lets the file go; false when closing it failed.
    bool close();

private:
    std::unique_ptr<FileStream> file_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace nimbra
