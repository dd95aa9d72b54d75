#pragma once

#include <string>

namespace nimbra {

// Where the program keeps its things. Every folder text ends in "/".
class AppPaths {
public:
    // The program's own folders are private to the user (PrivateFiles).
    // $XDG_CONFIG_HOME/nimbra/ (created on demand): the settings store.
    static std::string configFolder();
    // $XDG_DATA_HOME/nimbra/ (created on demand): "mesagid", the newsgroup list files and the
    // other state the program keeps between runs.
    static std::string dataFolder();
    // The home folder + "nimbra files/": the download folder until the user picks another.
    static std::string defaultDownloadFolder();
    // The folder of the running executable.
    static std::string programFolder();
    // $XDG_STATE_HOME/nimbra/ when XDG_STATE_HOME is set, else dataFolder(): the log.
    static std::string stateFolder();
    // Creates a folder and its parents; true when it exists afterwards.
    static bool ensureFolder(const std::string& folder);
};

} // namespace nimbra
