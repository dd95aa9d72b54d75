#pragma once

#include <string>

namespace nimbra {

// Where the newsgroup list of a server is cached: a folder of its own in the program's data
// folder, holding nothing but these lists, and a file named after the host text in lower
// case. Since the program keeps its other files ("mesagid", the ledgers, the log...) outside
// that folder, no host text can name one of them, whatever it is; host texts that are no
// plain file name (a path, a name with odd characters) get a safe name of their own, so a
// host never leads outside the folder either.
class GroupCacheFile {
public:
    // The folder of the lists ("newsgroups/" in the data folder, made private on demand).
    static std::string folder();
    // "" for an empty host: there is no cache without a server.
    static std::string path(const std::string& host);
};

} // namespace nimbra
