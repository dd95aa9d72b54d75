#pragma once

#include <cstdint>
#include <string>

namespace nimbra {

// One line of a LIST answer: "<name> <high> <low> <type>". A missing field is "" (0 for the
// numbers). Each number may have leading blanks; it is read as a 64-bit decimal (0 when it
// is not one) and kept in its low 32 bits. The type is the rest of the line unchanged.
struct NewsgroupListLine {
    std::string name;
    std::int32_t high = 0;
    std::int32_t low = 0;
    std::string type;

    static NewsgroupListLine parse(const std::string& line);
};

} // namespace nimbra
