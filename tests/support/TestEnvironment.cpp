#include "tests/support/TestEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace nimbra::test {
namespace {
std::string rootFolder;
}

TestEnvironment::TestEnvironment()
{
    char pattern[] = "/tmp/nimbra-test-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot make a temporary folder");
    rootFolder = std::string(pattern) + "/";
    const std::string home = makeFolder("home");
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", makeFolder("config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", makeFolder("data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", makeFolder("cache").c_str(), 1);
    ::setenv("XDG_STATE_HOME", makeFolder("state").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

TestEnvironment::~TestEnvironment()
{
    std::error_code ignored;
    std::filesystem::remove_all(rootFolder, ignored);
}

const std::string& TestEnvironment::root()
{
    return rootFolder;
}

std::string TestEnvironment::makeFolder(const std::string& name)
{
    const std::string folder = rootFolder + name + "/";
    std::filesystem::create_directories(folder);
    return folder;
}

} // namespace nimbra::test
