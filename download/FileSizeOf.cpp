#include "download/FileSizeOf.h"

#include <sys/stat.h>

namespace nimbra {

std::int64_t FileSizeOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

} // namespace nimbra
