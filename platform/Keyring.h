#pragma once

#include <optional>
#include <string>

namespace nimbra {

// Where the desktop keeps secrets for the user. The window's "Remember password" goes through
// this interface only; the program's own files never hold a secret. One thread (the GUI's);
// calls may run the event loop while they wait for the keyring.
class Keyring {
public:
    virtual ~Keyring() = default;

    // True when a keyring answers. When false, read() finds nothing and write() keeps nothing.
    virtual bool available() = 0;
    // The secret kept under key; nullopt when there is none or the keyring cannot be reached.
    virtual std::optional<std::string> read(const std::string& key) = 0;
    // Keeps secret under key, replacing an older one; false when the keyring refused.
    virtual bool write(const std::string& key, const std::string& secret) = 0;
    // Removes what is kept under key; true when nothing is kept there afterwards.
    virtual bool remove(const std::string& key) = 0;
};

} // namespace nimbra
