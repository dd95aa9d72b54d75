#include "mime/UuBlockReader.h"

#include "mime/LineDecoders.h"
#include "mime/UuText.h"

#include <algorithm>

namespace nimbra {
namespace {

bool blank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

void UuBlockReader::reset()
{
    state_ = State::Start;
    alphabet_ = Alphabet::Uu;
    name_.clear();
}

bool UuBlockReader::beginLine(std::string_view line, std::string& name)
{
    if (!UuText::startsWithLowered(line, "begin "))
        return false;
    std::size_t at = 5;
    while (at < line.size() && blank(line[at]))
        ++at;
    const std::size_t mode = at;
    while (at < line.size() && line[at] >= '0' && line[at] <= '7')
        ++at;
    if (at == mode || at >= line.size() || !blank(line[at]))
        return false;
    std::size_t end = line.size();
    while (end > at + 1 && blank(line[end - 1]))
        --end;
    name.assign(line.substr(at + 1, end - at - 1));
    return true;
}

bool UuBlockReader::dataLine(std::string_view line, Alphabet alphabet)
{
    if (line.empty())
        return false;
    if (alphabet == Alphabet::Xx) {
        if (std::any_of(line.begin(), line.end(), [](char c) { return LineDecoders::xxValue(c) < 0; }))
            return false;
    } else if (std::any_of(line.begin(), line.end(), [](char c) { return c < ' ' || c > '`'; })) {
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(
        alphabet == Alphabet::Xx ? LineDecoders::xxValue(line[0]) : (line[0] - ' ') & 63);
    const std::size_t full = 1 + (count + 2) / 3 * 4;
    // Trailing blanks (zero values) may be stripped in transit; a checksum character may follow.
    const std::size_t needed = 1 + (count * 4 + 2) / 3;
    const std::size_t least = count == 0 ? 1 : std::max<std::size_t>(2, needed - 2);
    return line.size() >= least && line.size() <= full + 1;
}

bool UuBlockReader::firstDataLine(std::string_view line, bool continuation)
{
    if (dataLine(line, Alphabet::Uu)) {
        alphabet_ = Alphabet::Uu;
        return true;
    }
    constexpr std::size_t FullLine = 1 + 45 / 3 * 4;
    if (dataLine(line, Alphabet::Xx) && (!continuation || (line.size() >= FullLine && line[0] == 'h'))) {
        alphabet_ = Alphabet::Xx;
        return true;
    }
    return false;
}

std::size_t UuBlockReader::decode(char* line, std::size_t length) const
{
    return alphabet_ == Alphabet::Xx ? LineDecoders::xxdecode(line, length, line)
                                     : LineDecoders::uudecode(line, length, line);
}

UuBlockReader::Step UuBlockReader::finish()
{
    const bool wasOpen = inBlock();
    reset();
    return {wasOpen ? Kind::Cut : Kind::Ignored, 0};
}

UuBlockReader::Step UuBlockReader::feed(char* line, std::size_t length)
{
    if (length == 0)
        return {};
    const std::string_view text(line, length);
    std::string name;
    if (beginLine(text, name)) {
        // A marker line of a split posting names no file.
        if (name.find("CUT HERE") != std::string::npos || UuText::isCutHereMarker(text))
            return {};
        const bool wasOpen = inBlock();
        state_ = State::Pending;
        name_ = std::move(name);
        return {wasOpen ? Kind::Cut : Kind::Ignored, 0};
    }
    switch (state_) {
    case State::Start:
        if (!firstDataLine(text, true))
            return {};
        state_ = State::Continuation;
        return {Kind::Continuation, decode(line, length)};
    case State::Pending:
        if (!firstDataLine(text, false)) {
            // A begin line without data after it was quoted, not posted.
            state_ = State::Between;
            name_.clear();
            return {};
        }
        state_ = State::Block;
        return {Kind::BlockBegun, decode(line, length)};
    case State::Block:
    case State::Continuation:
        if (dataLine(text, alphabet_))
            return {Kind::Data, decode(line, length)};
        if (UuText::startsWithLowered(text, "end") && !UuText::isCutHereMarker(text)) {
            state_ = State::Between;
            return {Kind::Ended, 0};
        }
        return {};
    case State::Between:
        return {};
    }
    return {};
}

} // namespace nimbra
