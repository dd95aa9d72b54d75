#include "platform/LargePages.h"

#include <cstdint>

#include <sys/mman.h>

namespace nimbra {

void adviseLargePages(void* data, std::size_t size)
{
    constexpr std::uintptr_t LargePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + LargePage - 1) & ~(LargePage - 1);
    const std::uintptr_t last = (begin + size) & ~(LargePage - 1);
    if (data == nullptr || last <= first)
        return;
    // Refused where the kernel has no large pages; the memory then stays as it is.
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

} // namespace nimbra
