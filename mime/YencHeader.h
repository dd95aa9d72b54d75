#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

// The fields of a "=ybegin" line. name is the rest of the line after "name=", trimmed of
// surrounding blanks, exactly as the poster wrote it: it is not yet safe to use as a file name.
struct YencBegin {
    std::uint64_t size = 0;
    std::optional<std::uint64_t> line;
    std::optional<std::uint64_t> part;
    std::optional<std::uint64_t> total;
    std::string name;
};

// The fields of a "=ypart" line: the part's first and last byte in the file, counted from 1.
struct YencPart {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// The fields of a "=yend" line; each may be missing.
struct YencEnd {
    std::optional<std::uint64_t> size;
    std::optional<std::uint64_t> part;
    std::optional<std::uint32_t> pcrc32;
    std::optional<std::uint32_t> crc32;
};

// Reads the keyword lines of yEnc. Keywords are lower case and stand at the start of a line,
// followed by a blank or the line end; parameters are blank-separated key=value tokens with
// decimal numbers and hexadecimal checksums. Unknown keys are ignored. A line whose required
// fields are missing or whose known values are malformed (not a number, too large) is refused.
class YencHeader {
public:
    static bool isBegin(std::string_view line);
    static bool isPart(std::string_view line);
    static bool isEnd(std::string_view line);

    // size and name are required.
    static std::optional<YencBegin> parseBegin(std::string_view line);
    // begin and end are required, with 1 <= begin <= end.
    static std::optional<YencPart> parsePart(std::string_view line);
    static std::optional<YencEnd> parseEnd(std::string_view line);
};

} // namespace nimbra
