#pragma once

#include "platform/Keyring.h"

#include <map>

namespace nimbra::test {

// A keyring in memory, for tests: answers or not as told, and counts its calls.
class MemoryKeyring : public Keyring {
public:
    explicit MemoryKeyring(bool running = true) : running_(running) {}

    bool available() override { return running_; }
    std::optional<std::string> read(const std::string& key) override
    {
        ++reads;
        const auto found = entries.find(key);
        if (!running_ || found == entries.end())
            return std::nullopt;
        return found->second;
    }
    bool write(const std::string& key, const std::string& secret) override
    {
        ++writes;
        if (running_)
            entries[key] = secret;
        return running_;
    }
    bool remove(const std::string& key) override
    {
        entries.erase(key);
        return running_;
    }

    std::map<std::string, std::string> entries;
    int reads = 0;
    int writes = 0;

private:
    bool running_;
};

} // namespace nimbra::test
