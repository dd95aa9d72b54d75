#pragma once

#include "mime/YencHeader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace nimbra {

// What a "=ybegin" (and its "=ypart", when the part has one) announces.
struct YencStart {
    YencBegin header;
    std::optional<YencPart> range;
    // Where the part's first byte goes in the file, counted from 0, and how many bytes the
    // part should decode to. For a part without a range both come from the header alone.
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    // A whole file in one article: no part number, or part 1 of 1 covering the whole size.
    bool single = false;
    // false when the range lies outside the announced size; such a part never checks good.
    bool consistent = true;
};

enum class YencCheck { Absent, Match, Mismatch };

// The outcome of one part, reported when its "=yend" arrives or the part is cut short.
struct YencResult {
    bool trailer = false;           // "=yend" seen (false: the article ended first)
    YencEnd end;                    // its fields, when seen
    std::uint64_t decoded = 0;      // bytes decoded
    std::uint32_t crc = 0;          // CRC-32 of those bytes
    YencCheck size = YencCheck::Absent;     // decoded against the length announced
    YencCheck partCrc = YencCheck::Absent;  // crc against pcrc32
    YencCheck fileCrc = YencCheck::Absent;  // crc against crc32; single files only, since a
                                            // part's crc32 covers the whole file

    // Trailer seen, size right, and no checksum that disagrees.
    bool good() const;
};

// Turns the body lines of an article into yEnc events, touching no file. Fed line by line
// (without their LF); feed() says whether the line belonged to yEnc, so the caller hands the
// others to its other decoders. Between "=ybegin" and "=yend" every line is yEnc's.
//
// Events, in order for each part: onBegin, onData for each decoded run (bytes valid only
// during the call, offset = the bytes' place in the file; a run gathers many lines and all
// of a part's runs come before its onEnd), onEnd. Handlers may throw; the
// exception passes out of feed() or finish(), and reset() must come before the next article.
class YencDecoder {
public:
    std::function<void(const YencStart&)> onBegin;
    std::function<void(const char* data, std::size_t length, std::uint64_t offset)> onData;
    std::function<void(const YencStart&, const YencResult&)> onEnd;

    bool feed(std::string_view line);
    // Whether a part's data is being read: then feedData may take its lines in bulk.
    bool readingData() const { return state_ == State::Data; }
    // Decodes a run of whole data lines of the open part, line ends included, as feed() would
    // line by line; the run must hold no line that begins with "=y". Only while readingData().
    void feedData(std::string_view run);
    // The body ended: a part still open ends without its trailer.
    void finish();
    // Forgets any open part without events (a new article begins).
    void reset();
    bool active() const { return state_ != State::Idle; }

private:
    enum class State { Idle, AwaitingPart, Data };

    void setState(State state) { state_ = state; }
    void start(const YencBegin& header, const std::optional<YencPart>& range);
    void decode(std::string_view line);
    // Hands the decoded bytes held so far to onData.
    void flush();
    void end(const std::optional<YencEnd>& trailer);

    State state_ = State::Idle;
    YencBegin pending_;
    YencStart start_;
    YencResult result_;
    bool escaped_ = false;
    // Decoded lines are gathered into runs of about this size: the checksum and the writes
    // go faster over long runs than line by line.
    static constexpr std::size_t BatchSize = 64 * 1024;
    std::vector<char> buffer_;
    std::size_t held_ = 0;
};

} // namespace nimbra
