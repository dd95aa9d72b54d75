#pragma once

#include <string>

namespace nimbra {

// The saving rules for names: an existing file is never overwritten, the new name grows a
// leading "1" until it is free; when no usable name exists a random ".jpg" name is made.
class UniqueFileName {
public:
    // name, or "1" + name, "11" + name, ... : the first that names no file in folder.
    // folder ends in "/".
    static std::string free(const std::string& folder, const std::string& name);
    // A random number in 0..64999 in decimal + ".jpg", made free as above.
    static std::string randomJpg(const std::string& folder);
    static bool exists(const std::string& path);
};

} // namespace nimbra
