#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nimbra {

// The part counter in a subject line of a file posted over several articles: "(1/3)",
// "(01/12)", "(001/400)", "[1/3]" or "1 of 3", anywhere in the subject; the last one
// counts, since a set counter ("[2/5] - ...") may come before the file's own.
class PartCounter {
public:
    struct Counted {
        std::string stem;          // the subject before the counter, without its trailing blanks
        std::uint32_t number = 0;  // 1 .. total
        std::uint32_t total = 0;
    };

    // std::nullopt when the subject has no counter with 1 <= number <= total.
    static std::optional<Counted> find(const std::string& subject);
};

} // namespace nimbra
