#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nimbra {

// Readers for the fields of an NNTP reply line.
class NntpReply {
public:
    // Skips blanks (space, tab, CR, LF), takes one optional sign and the decimal digits
    // after it, and leaves pos after them, so successive fields are read in turn. No digits
    // give 0. A value beyond the 32-bit range saturates at INT32_MAX (or INT32_MIN): a
    // huge article number never wraps into a negative one, which would name the current
    // article instead.
    static std::int32_t readNumber(const std::string& line, std::size_t& pos);
    // The message-id after pos without its angle brackets: from the first "<" up to the next
    // ">" (or the end of the line); empty when there is no "<".
    static std::string readMessageId(const std::string& line, std::size_t pos);
    // The date-time of a 14-character "yyyymmddhhnnss" value (days since 30 December 1899,
    // the time of day as the fraction); false, leaving when alone, for any other length or
    // for values that form no valid date or time.
    static bool readDate(const std::string& text, double& when);
};

} // namespace nimbra
