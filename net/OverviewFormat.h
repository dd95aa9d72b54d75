#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// One line of an OVER / XOVER reply, split by the server's overview format. The views point
// into the line given to parse() and stay valid as long as it does.
struct OverviewLine {
    std::int64_t number = 0;
    std::string_view subject, from, date, messageId, references;  // messageId keeps its brackets
    std::int64_t bytes = -1;  // -1 when the server left it empty or unreadable
    std::int64_t lines = -1;
    std::vector<std::string_view> extra;  // the fields after the seven, in the format's order
};

// The fields of a server's overview lines, from LIST OVERVIEW.FMT (RFC 3977 8.4), or the
// standard seven when the server does not list them. The first seven are always Subject,
// From, Date, Message-ID, References, bytes and lines in that order, so only the names of
// the extra fields (for example "Xref") come from the list.
class OverviewFormat {
public:
    // Starts the list again with the standard seven.
    void reset();
    // One line of LIST OVERVIEW.FMT ("Subject:", ":bytes", "Xref:full", ...).
    void addLine(std::string_view line);
    // The extra fields, without their colons and ":full", in order.
    const std::vector<std::string>& extraNames() const { return extra_; }
    // Index into OverviewLine::extra of the extra field of that name (case-insensitive), or -1.
    int extraIndex(std::string_view name) const;

    // Splits a line; false (and nothing usable) when its article number cannot be read. A
    // missing trailing field reads as empty; a field of an extra listed "full" keeps its
    // "Name: " prefix, as the server sends it.
    bool parse(std::string_view line, OverviewLine& out) const;

private:
    int listed_ = 0;  // lines of the list seen since reset()
    std::vector<std::string> extra_;
};

} // namespace nimbra
