#include "mime/YencDecoder.h"

#include "mime/Crc32.h"
#include "mime/YencLineDecoder.h"

#include <algorithm>

namespace nimbra {
namespace {

YencCheck compare(bool known, bool equal)
{
    if (!known)
        return YencCheck::Absent;
    return equal ? YencCheck::Match : YencCheck::Mismatch;
}

} // namespace

bool YencResult::good() const
{
    return trailer && size == YencCheck::Match && partCrc != YencCheck::Mismatch && fileCrc != YencCheck::Mismatch;
}

bool YencDecoder::feed(std::string_view line)
{
    if (YencHeader::isBegin(line)) {
        const std::optional<YencBegin> header = YencHeader::parseBegin(line);
        finish();  // a block still open ends unconfirmed
        if (!header)
            return state_ != State::Idle;
        if (header->part) {
            pending_ = *header;
            setState(State::AwaitingPart);
        } else {
            start(*header, std::nullopt);
        }
        return true;
    }
    switch (state_) {
    case State::Idle:
        return false;
    case State::AwaitingPart:
        if (YencHeader::isPart(line)) {
            start(pending_, YencHeader::parsePart(line));
            return true;
        }
        start(pending_, std::nullopt);
        break;
    case State::Data:
        break;
    }
    if (YencHeader::isEnd(line)) {
        const std::optional<YencEnd> trailer = YencHeader::parseEnd(line);
        // A trailer that cannot be read leaves the part unconfirmed.
        end(trailer ? trailer : std::optional<YencEnd>{});
        return true;
    }
    if (!YencHeader::isPart(line))
        decode(line);
    return true;
}

void YencDecoder::feedData(std::string_view run)
{
    // Line ends are skipped by the line decoder and an escape carries over, so the run may
    // be cut anywhere; pieces of a batch keep each decoded run at about BatchSize.
    constexpr std::size_t piece = BatchSize - YencLineDecoder::Slack;
    while (!run.empty()) {
        const std::size_t n = std::min(run.size(), piece);
        decode(run.substr(0, n));
        run.remove_prefix(n);
    }
}

void YencDecoder::finish()
{
    if (state_ == State::AwaitingPart)
        start(pending_, std::nullopt);
    if (state_ != State::Idle)
        end(std::nullopt);
}

void YencDecoder::reset()
{
    setState(State::Idle);
    escaped_ = false;
    held_ = 0;
}

void YencDecoder::start(const YencBegin& header, const std::optional<YencPart>& range)
{
    start_ = YencStart{};
    start_.header = header;
    start_.range = range;
    if (range) {
        start_.offset = range->begin - 1;
        start_.length = range->end - range->begin + 1;
    } else {
        start_.length = header.size;
    }
    start_.single = !header.part
        || (header.total && *header.total == 1 && *header.part == 1 && start_.offset == 0 && start_.length == header.size);
    // A part of several without a range has no known place in the file.
    start_.consistent = range ? range->end <= header.size : start_.single;
    result_ = YencResult{};
    escaped_ = false;
    held_ = 0;
    setState(State::Data);
    if (onBegin)
        onBegin(start_);
}

void YencDecoder::decode(std::string_view line)
{
    if (line.empty())
        return;
    if (held_ > 0 && held_ + line.size() + YencLineDecoder::Slack > buffer_.size())
        flush();
    if (buffer_.size() < held_ + line.size() + YencLineDecoder::Slack)
        buffer_.resize(std::max(BatchSize, held_ + line.size() + YencLineDecoder::Slack));
    // An escape left open at a line end takes the next line's first character: some posters
    // split the pair rather than make the line one longer.
    held_ += YencLineDecoder::decode(line.data(), line.size(), buffer_.data() + held_, escaped_);
}

void YencDecoder::flush()
{
    if (held_ == 0)
        return;
    const std::size_t n = held_;
    held_ = 0;
    const std::uint64_t offset = start_.offset + result_.decoded;
    result_.crc = Crc32::update(result_.crc, buffer_.data(), n);
    result_.decoded += n;
    if (onData)
        onData(buffer_.data(), n, offset);
}

void YencDecoder::end(const std::optional<YencEnd>& trailer)
{
    flush();
    YencResult& r = result_;
    r.trailer = trailer.has_value();
    if (trailer)
        r.end = *trailer;
    const bool sizeRight = start_.consistent && r.decoded == start_.length && (!r.end.size || *r.end.size == r.decoded);
    r.size = compare(true, sizeRight);
    r.partCrc = compare(r.end.pcrc32.has_value(), r.end.pcrc32 == r.crc);
    if (start_.single)
        r.fileCrc = compare(r.end.crc32.has_value(), r.end.crc32 == r.crc);
    setState(State::Idle);
    escaped_ = false;
    if (onEnd)
        onEnd(start_, r);
}

} // namespace nimbra
