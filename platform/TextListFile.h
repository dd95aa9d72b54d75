#pragma once

#include <string>
#include <vector>

namespace nimbra {

// The program's plain list files (the message-id cache, the newsgroup list of a server): one
// entry a line, written with CR LF line ends. Reading accepts CR LF or LF alone.
class TextListFile {
public:
    // Returns false when the file is missing or unreadable; lines is then empty.
    static bool load(const std::string& path, std::vector<std::string>& lines);
    // Writes atomically; returns false on failure, leaving any old file as it was.
    static bool save(const std::string& path, const std::vector<std::string>& lines);
    static bool exists(const std::string& path);
};

} // namespace nimbra
