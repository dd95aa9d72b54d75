#pragma once

#include <cmath>
#include <cstdint>

namespace nimbra {

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4), as every
// count and size the program shows is rounded.
inline std::int64_t roundHalfEven(double value)
{
    return static_cast<std::int64_t>(std::nearbyint(value));
}

} // namespace nimbra
