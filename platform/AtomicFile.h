#pragma once

#include <string>

namespace nimbra {

// Replaces a file's content so that a reader sees either the old file or the whole new one,
// never a half-written one: the bytes go to a temporary file beside it, are synced, and the
// temporary file is renamed over the target. The file is the program's own state, so it is
// readable by the user alone (PrivateFiles::FileMode).
class AtomicFile {
public:
    // Returns false (and leaves the old file untouched) when any step fails.
    static bool write(const std::string& path, const std::string& bytes);
    // Reads a whole file; returns false when it cannot be opened or read.
    static bool read(const std::string& path, std::string& bytes);
};

} // namespace nimbra
