#include "mime/LineSplitter.h"

#include <cstring>

namespace nimbra {
namespace {
// Room kept free after every read: one byte for the look-ahead of folding, one for the NUL.
constexpr std::size_t Reserve = 2;

// Where the whole lines in [from, limit) end before the first line that begins with first and
// second: a line whose first two bytes are not both held yet ends the search as well.
std::size_t runEnd(const char* data, std::size_t from, std::size_t limit, char first, char second)
{
    if (limit - from < 2 || (data[from] == first && data[from + 1] == second))
        return from;
    std::size_t end = from;
    while (end < limit) {
        const auto* lf = static_cast<const char*>(std::memchr(data + end, '\n', limit - end));
        if (!lf)
            break;
        end = static_cast<std::size_t>(lf - data) + 1;
        if (limit - end < 2 || (data[end] == first && data[end + 1] == second))
            break;
    }
    return end;
}
} // namespace

// Header folding: joins the line [start, lf] with the next when that begins with TAB or space.
// When the LF is the last byte held, one more byte is read to see the next line's first.
bool LineSplitter::foldsAt(std::size_t start, std::size_t lf)
{
    char* data = buffer_.data();
    if (!foldLines_ || data[start] == '\r' || data[start] == '\n')
        return false;
    if (lf + 1 == held_ && !atEnd_) {
        if (stream_.read(data + held_, 1) == 1)
            data[++held_] = '\0';
        else
            atEnd_ = true;
    }
    if (lf + 1 >= held_ || (data[lf + 1] != ' ' && data[lf + 1] != '\t'))
        return false;
    if (lf > start && data[lf - 1] == '\r')
        data[lf - 1] = ' ';
    data[lf] = ' ';
    data[lf + 1] = ' ';
    return true;
}

// No whole line is left. Once the buffer is full, the unconsumed tail moves to the front;
// a tail that still fills more than half of it is a long line, and the buffer doubles, so
// that one very long line costs linear time and at most four times its length in memory.
void LineSplitter::makeRoom()
{
    if (start_ == held_)
        held_ = start_ = scan_ = 0;
    if (held_ + Reserve < buffer_.size())
        return;
    if (start_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + start_, held_ - start_);
        held_ -= start_;
        scan_ -= start_;
        start_ = 0;
    }
    if (held_ > buffer_.size() / 2)
        buffer_.resize(buffer_.size() * 2);
}

void LineSplitter::begin()
{
    buffer_.assign(InitialSize, '\0');
    held_ = start_ = scan_ = next_ = 0;
    atEnd_ = false;
}

void LineSplitter::fill()
{
    const std::size_t got = stream_.read(buffer_.data() + held_, buffer_.size() - held_ - Reserve);
    atEnd_ = got == 0;
    held_ += got;
    buffer_[held_] = '\0';
}

char* LineSplitter::nextLine(std::size_t& length)
{
    while (scan_ < held_) {
        char* data = buffer_.data();
        const auto* found = static_cast<char*>(std::memchr(data + scan_, '\n', held_ - scan_));
        if (!found) {
            scan_ = held_;
            return nullptr;
        }
        const auto lf = static_cast<std::size_t>(found - data);
        if (foldsAt(start_, lf)) {
            scan_ = lf + 2;
            continue;
        }
        std::size_t end = lf;
        if (end > start_ && data[end - 1] == '\r')
            --end;
        data[end] = '\0';
        next_ = lf + 1;
        length = end - start_;
        return data + start_;
    }
    return nullptr;
}

char* LineSplitter::lastLine(std::size_t& length)
{
    if (start_ >= held_ || stop_)
        return nullptr;
    char* data = buffer_.data();
    std::size_t end = held_;
    if (data[end - 1] == '\r')
        --end;
    data[end] = '\0';
    next_ = held_;
    length = end - start_;
    return data + start_;
}

std::string_view LineSplitter::takeLinesUntil(char first, char second)
{
    if (const char* memory = stream_.memory()) {
        // The held bytes after the current line are the stream's last ones read: search on in
        // the stream's memory, then go on reading where the run ends.
        const auto position = static_cast<std::size_t>(stream_.position());
        const auto size = static_cast<std::size_t>(stream_.size());
        const std::size_t from = position - (held_ - next_);
        const std::size_t to = runEnd(memory, from, size, first, second);
        if (to == from)
            return {};
        stream_.seek(static_cast<std::int64_t>(to));
        held_ = next_ = 0;
        atEnd_ = false;
        return {memory + from, to - from};
    }
    const std::size_t to = runEnd(buffer_.data(), next_, held_, first, second);
    const std::string_view run(buffer_.data() + next_, to - next_);
    next_ = to;
    return run;
}

} // namespace nimbra
