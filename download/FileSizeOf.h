#pragma once

#include <cstdint>
#include <string>

namespace nimbra {

// The size in bytes of the file at path, from its directory entry (nothing is read); -1 when
// no regular file of that name can be found. A folder or other special entry is not a file.
std::int64_t FileSizeOf(const std::string& path);

} // namespace nimbra
