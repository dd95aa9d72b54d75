#include "net/NntpLineReader.h"

#include <cstring>

namespace nimbra {

void NntpLineReader::append(const char* data, std::size_t count)
{
    // Compact only when the cut lines outweigh what is held, so appending stays linear.
    if (start_ > 0 && start_ >= buffer_.size() - start_) {
        buffer_.erase(0, start_);
        scanned_ -= start_;
        start_ = 0;
    }
    buffer_.append(data, count);
}

bool NntpLineReader::next(std::string_view& line, bool& whole)
{
    const char* base = buffer_.data();
    const std::size_t size = buffer_.size();
    std::size_t at = scanned_ < start_ ? start_ : scanned_;
    while (at + 1 < size) {
        const void* cr = std::memchr(base + at, '\r', size - 1 - at);
        if (!cr)
            break;
        at = static_cast<std::size_t>(static_cast<const char*>(cr) - base);
        if (base[at + 1] == '\n') {
            line = std::string_view(base + start_, at - start_);
            whole = !truncated_;
            truncated_ = false;
            start_ = at + 2;
            scanned_ = start_;
            return true;
        }
        ++at;
    }
    // A CR as the last byte may still be followed by its LF.
    scanned_ = size > start_ ? size - 1 : start_;
    return false;
}

void NntpLineReader::dropPartial()
{
    if (held() == 0)
        return;
    const bool endsInCr = buffer_.back() == '\r';
    buffer_.clear();
    start_ = scanned_ = 0;
    if (endsInCr)
        buffer_.push_back('\r');
    truncated_ = true;
}

void NntpLineReader::clear()
{
    buffer_.clear();
    start_ = scanned_ = 0;
    truncated_ = false;
}

} // namespace nimbra
