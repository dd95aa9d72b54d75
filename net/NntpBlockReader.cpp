#include "net/NntpBlockReader.h"

#include <algorithm>

namespace nimbra {
namespace {

// While a block is skipped, the start of an unended line is dropped past this many bytes.
constexpr std::size_t SkipSlice = 64 * 1024;

} // namespace

void NntpBlockReader::setLimits(std::uint64_t articleLimit, std::uint64_t headerLimit, std::uint64_t statusLineLimit)
{
    articleLimit_ = articleLimit;
    headerLimit_ = headerLimit;
    statusLineLimit_ = statusLineLimit;
}

void NntpBlockReader::startBlock(bool bounded, bool withHeader)
{
    mode_ = Block;
    bounded_ = bounded;
    inHeader_ = bounded && withHeader;
    bytes_ = 0;
}

void NntpBlockReader::endBlock()
{
    mode_ = StatusLines;
}

void NntpBlockReader::append(const char* data, std::size_t count)
{
    lines_.append(data, count);
}

// What the next line may take, its CR LF included.
std::uint64_t NntpBlockReader::budget() const
{
    if (mode_ == StatusLines)
        return statusLineLimit_;
    if (!bounded_)
        return articleLimit_;
    const std::uint64_t limit = inHeader_ ? std::min(articleLimit_, headerLimit_) : articleLimit_;
    return limit > bytes_ ? limit - bytes_ : 0;
}

NntpBlockReader::Result NntpBlockReader::next(std::string_view& line)
{
    bool whole = true;
    while (lines_.next(line, whole)) {
        const std::uint64_t size = line.size() + 2;
        if (mode_ == Skipping) {
            if (whole && line == ".") {
                mode_ = StatusLines;
                return BlockSkipped;
            }
            bytes_ += size;
            if (bytes_ > articleLimit_)
                return SkipOverrun;
            continue;
        }
        if (size > budget())
            return startSkipping(false);
        if (mode_ == Block && !(line == ".")) {
            if (bounded_)
                bytes_ += size;
            if (line.empty())
                inHeader_ = false;
        }
        return Line;
    }
    if (mode_ == Skipping && lines_.held() > SkipSlice) {
        bytes_ += lines_.held();
        lines_.dropPartial();
        if (bytes_ > articleLimit_)
            return SkipOverrun;
    } else if (mode_ != Skipping && lines_.held() > budget()) {
        return startSkipping(true);
    }
    return None;
}

NntpBlockReader::Result NntpBlockReader::startSkipping(bool partial)
{
    if (mode_ == StatusLines)
        return LineTooLong;
    mode_ = Skipping;
    bytes_ = 0;
    if (partial)
        lines_.dropPartial();
    std::string_view ignored;
    return next(ignored);
}

void NntpBlockReader::clear()
{
    lines_.clear();
    mode_ = StatusLines;
}

} // namespace nimbra
