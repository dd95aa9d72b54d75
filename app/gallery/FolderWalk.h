#pragma once

#include <QByteArray>

#include <atomic>
#include <functional>
#include <sys/stat.h>

namespace nimbra {

// Walks a folder and its sub-folders with the system's own directory calls: one lstat per
// file whose name is wanted and none for the rest, where a walk through QFileInfo takes two
// for every file. Links (to files or folders) are neither given nor entered, nor are hidden
// names (starting with a dot). A folder that cannot be read is logged and passed over.
class FolderWalk {
public:
    // Is a file of this name (its bytes) worth its lstat?
    using Wanted = std::function<bool(const char* name)>;
    // A regular file: the folder's path (no trailing slash), its name and its lstat.
    using Found = std::function<void(const QByteArray& folder, const char* name, const struct stat& status)>;

    // Stops early when cancel becomes true.
    static void files(const QByteArray& root, const std::atomic<bool>& cancel, const Wanted& wanted, const Found& found);
};

} // namespace nimbra
