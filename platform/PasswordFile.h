#pragma once

#include <optional>
#include <string>

namespace nimbra {

// A password kept in a file that only its owner can read, for runs from cron or a timer. The
// first line is the password (its CR LF or LF end removed). The file must belong to the user
// running the program and give group and others no access at all; a symlink is followed
// only to such a file. Nothing read from the file ever appears in a message.
class PasswordFile {
public:
    // The password, or nullopt with the reason in error (naming the file, the mode it has and
    // the one it needs, never the content).
    static std::optional<std::string> read(const std::string& path, std::string& error);
};

} // namespace nimbra
