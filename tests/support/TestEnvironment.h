#pragma once

#include <string>

namespace nimbra::test {

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME and XDG_STATE_HOME at a fresh temporary folder for the life of
// the object (one per test process), and selects the offscreen platform.
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();

    // The temporary folder, ending in "/"; valid while the environment lives.
    static const std::string& root();
    // A new empty folder under root(), ending in "/".
    static std::string makeFolder(const std::string& name);
};

} // namespace nimbra::test
