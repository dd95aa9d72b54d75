#include "platform/UniqueFileName.h"

#include <random>
#include <sys/stat.h>

namespace nimbra {

bool UniqueFileName::exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string UniqueFileName::free(const std::string& folder, const std::string& name)
{
    std::string candidate = name;
    while (exists(folder + candidate))
        candidate.insert(0, 1, '1');
    return candidate;
}

std::string UniqueFileName::randomJpg(const std::string& folder)
{
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, 64999);
    return free(folder, std::to_string(pick(generator)) + ".jpg");
}

} // namespace nimbra
