#pragma once

#include <cstddef>

namespace nimbra {

// Asks the system to back the whole 2 MiB pages within [data, data + size) with large pages,
// where it gives them: fresh memory of some hundred MB is then written with a page fault
// every 2 MiB rather than every 4 KiB, which on some virtual machines is the larger part of
// reading a file into it. Only advice: nothing changes where large pages are off, and ranges
// shorter than a large page are left as they are. Call it before the memory is first written.
void adviseLargePages(void* data, std::size_t size);

} // namespace nimbra
