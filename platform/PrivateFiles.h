#pragma once

#include <string>

namespace nimbra {

// The rules for the program's own state (settings, caches, ledgers, the log): they tell which
// servers and groups a user reads, so they are readable by the user alone. Folders the
// program makes are 0700, its state files 0600. Downloaded files do not come through here and
// keep following the user's umask.
class PrivateFiles {
public:
    static constexpr unsigned FolderMode = 0700;
    static constexpr unsigned FileMode = 0600;

    // Makes the folder and any missing parent with FolderMode; a folder that already exists
    // keeps its mode. True when it is a folder afterwards.
    static bool ensureFolder(const std::string& folder);
    // Like ensureFolder(), and the last folder itself (one of the program's own, such as
    // ".../nimbra/") is narrowed to FolderMode when it is the user's and wider.
    static bool ensureOwnFolder(const std::string& folder);
    // Opens a file for appending, creating it with FileMode. Refuses a symlink in its place,
    // anything but a regular file and a file of another owner; an own file that is wider is
    // narrowed to FileMode. Returns the descriptor, or -1 with the reason.
    static int openForAppend(const std::string& path, std::string& reason);
};

} // namespace nimbra
