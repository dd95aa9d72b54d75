#pragma once

#include <cstdint>

namespace nimbra {

// The files and kilobytes saved in this run ("Today") and for all time ("Total").
struct Statistics {
    std::int32_t TotalFiles = 0;
    std::int32_t TotalKB = 0;
    std::int32_t TodayFiles = 0;
    std::int32_t TodayKB = 0;
};

} // namespace nimbra
