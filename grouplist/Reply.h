#pragma once

#include <string>
#include <vector>

namespace nimbra {

// One server reply: "211-first", "free text", "211 last" gives NumericCode 211, TextCode
// "211" and three Text lines (each line from its fifth character on).
struct Reply {
    int NumericCode = 0; // 0 when no reply was read or the code is not a number
    std::string TextCode;
    std::vector<std::string> Text;

    void clear()
    {
        NumericCode = 0;
        TextCode.clear();
        Text.clear();
    }
};

} // namespace nimbra
