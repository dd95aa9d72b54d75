#pragma once

#include <map>
#include <string>

namespace nimbra {

// The settings store: keys that exist once created (even empty), each holding named string
// values, kept in one file. It is used like a registry object: open a key (creating it if
// asked), read or write values of that key, close it. Changes are written to the file,
// atomically, when the key is closed and when the store is destroyed. A missing or corrupt
// file starts an empty store; nothing here throws.
class RegistryStore {
public:
    // The store's file under the user's configuration folder ($XDG_CONFIG_HOME/nimbra/).
    static std::string defaultPath();

    explicit RegistryStore(std::string filePath = defaultPath());
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // Makes key the current key. Without canCreate a missing key is not opened (false).
    bool openKey(const std::string& key, bool canCreate);
    // Writes pending changes; the store then has no current key.
    bool closeKey();

    bool keyExists(const std::string& key) const;
    bool valueExists(const std::string& name) const;
    // The value of name in the current key; empty when absent or when no key is open.
    std::string readString(const std::string& name) const;
    // Sets a value in the current key; false when no key is open.
    bool writeString(const std::string& name, const std::string& value);

    // Writes the store's file now; false when the write failed.
    bool flush();
    const std::string& filePath() const { return path_; }

private:
    using Values = std::map<std::string, std::string>;
    void load();

    std::string path_;
    std::map<std::string, Values> keys_;
    std::string current_;
    bool open_ = false;
    bool dirty_ = false;
};

} // namespace nimbra
