#include "download/TransferRate.h"

#include <cstdio>

namespace nimbra {

void TransferRate::tick()
{
    seconds_[static_cast<std::size_t>(next_)] = current_;
    current_ = 0;
    next_ = (next_ + 1) % Seconds;
    if (filled_ < Seconds)
        ++filled_;
}

void TransferRate::reset()
{
    seconds_.fill(0);
    filled_ = 0;
    next_ = 0;
    current_ = 0;
}

double TransferRate::kilobytesPerSecond() const
{
    if (filled_ == 0)
        return 0.0;
    std::uint64_t total = 0;
    for (int i = 0; i < filled_; ++i)
        total += seconds_[static_cast<std::size_t>(i)];
    return static_cast<double>(total) / 1024.0 / filled_;
}

std::string TransferRate::text() const
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f KB/s", kilobytesPerSecond());
    if (connections_ <= 1)
        return buffer;
    return std::string(buffer) + ", " + std::to_string(connections_) + " connections";
}

} // namespace nimbra
