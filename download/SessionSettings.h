#pragma once

#include <cstdint>
#include <string>

namespace nimbra {

class SessionView;

// The numbers (and the group selection) a run reads from the window's fields. The fields hold
// digits once the user has left them; a field that still holds no usable number gives the
// value the field itself would fall back to.
class SessionSettings {
public:
    static long timeoutSeconds(const SessionView& view);  // > 0, else 20
    static long articleCache(const SessionView& view);    // >= 0, else 2000
    static long minimumKB(const SessionView& view);       // >= 0, else 0
    static long maximumKB(const SessionView& view);       // >= 0, else 200
    static int pipelineWindow(const SessionView& view);   // 1..MaximumPipeline, else DefaultPipeline
    static constexpr int DefaultPipeline = 16;
    static constexpr int MaximumPipeline = 64;
    static int connections(const SessionView& view);      // 1..MaximumConnections, else DefaultConnections
    static constexpr int DefaultConnections = 4;
    static constexpr int MaximumConnections = 50;

    // The most bytes one article may take on the wire (the NNTP client's article limit): what
    // "Maximum, Kb" lets through, with room for the encoding and the header. The size test
    // counts lines (23 to the KB, about 45 bytes each), but a yEnc line is 128 characters and
    // more, so the room is per line: an article of the most lines the test accepts, every line
    // as long as a yEnc line with its escapes, plus a header of up to HeaderAllowance.
    // Maximum 0 (or no number) keeps the client's default.
    static constexpr std::uint64_t BytesPerLine = 160;
    static constexpr std::uint64_t HeaderAllowance = 64u << 10;
    static std::uint64_t articleLimitBytes(const SessionView& view);

    // The index of the first selected entry of the newsgroup list after the given one, or -1.
    static int nextSelectedGroup(const SessionView& view, int after);

    // Digits only, at most 9 of them, with blanks around; anything else gives fallback.
    static long number(const std::string& text, long fallback);
};

} // namespace nimbra
