#include "download/OverviewBlockSize.h"

#include <algorithm>

namespace nimbra {

void OverviewBlockSize::fix(std::int64_t size)
{
    fixed_ = size > 0;
    size_ = fixed_ ? size : Initial;
}

void OverviewBlockSize::replied(std::int64_t numbers, std::int64_t bytes)
{
    if (fixed_ || numbers <= 0)
        return;
    const std::int64_t grown = std::min(Largest, size_ * 4);
    if (bytes <= 0) {
        size_ = grown;
        return;
    }
    // In floating point: numbers times the target may pass 64 bits for a hostile count.
    const double wanted = static_cast<double>(numbers) * TargetBytes / static_cast<double>(bytes);
    size_ = std::clamp(static_cast<std::int64_t>(std::min(wanted, static_cast<double>(Largest))), Smallest, grown);
}

} // namespace nimbra
