#pragma once

#include "platform/FileStream.h"

#include <memory>
#include <string>

namespace nimbra {

// The one owner of output files, for uuencoded, MIME and yEnc files alike: where an
// article's files go, and how they come into being. Every file is first made under a hidden
// working name (".nimbra-<random>.part") in the target folder, with O_EXCL, so it never is
// an existing file or a symbolic link; it gets its real name only when it is whole, in one
// rename that never replaces a file. So the program writes only to files it made itself,
// and nothing incomplete ever carries a name the user sees.
class SaveTarget {
public:
    // The download folder field as a folder ending in "/"; an empty field means the default
    // download folder, since saving relative to wherever the program was started is not
    // what anyone asked for.
    static std::string downloadFolder(const std::string& fieldText);
    // The download folder itself ("Save everything to this folder"), or the group's own
    // folder inside it. A group name comes from the server, so it is mapped to a safe folder
    // name (SafeName::mapped): the same group always gets the same folder, and no name leads
    // outside the download folder.
    static std::string targetFolder(const std::string& downloadFolder, bool oneFolder, const std::string& group);
    // Whether a file name (no folder) is a working name this program gives.
    static bool isWorkingName(const std::string& name);

    SaveTarget() = default;
    // Both end in "/"; targetFolder is downloadFolder or a folder directly inside it.
    SaveTarget(std::string downloadFolder, std::string targetFolder);

    const std::string& download() const { return download_; }
    const std::string& target() const { return target_; }

    // A new, empty working file in the target folder, open for writing. The download folder
    // and then the target folder are made when missing (one level each). Throws
    // std::runtime_error with the reason when a folder cannot be made, the target folder is
    // a symbolic link or no folder, or the file cannot be made.
    std::unique_ptr<FileStream> createWorking() const;

    // Gives the working file its real name in its own folder and returns that name: rawName
    // read as UTF-8 (else Windows-1252) and made safe (SafeName::attachment), with a leading
    // "1" while the name is taken; a random ".jpg" name when nothing of the name is usable
    // or the file system refuses it. Throws std::runtime_error when even that fails; the
    // working file is then deleted.
    std::string publish(const std::string& workingPath, const std::string& rawName) const;

    // Whether path names a working file that may be written, read or deleted: a regular file
    // (not a link) with a working name, directly inside the download folder or one of its
    // folders. Ledger entries are checked with it, so an edited ledger cannot point outside.
    bool ownsWorking(const std::string& path) const;
    // Deletes a working file; anything else is left alone.
    static void discard(const std::string& workingPath);

private:
    std::string download_;
    std::string target_;
};

} // namespace nimbra
