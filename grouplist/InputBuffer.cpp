#include "grouplist/InputBuffer.h"

#include <cstring>

namespace nimbra {

void InputBuffer::clear()
{
    data_.clear();
    head_ = 0;
}

void InputBuffer::append(const char* bytes, std::size_t count)
{
    if (head_ > 0) {
        data_.erase(0, head_);
        head_ = 0;
    }
    data_.append(bytes, count);
}

std::size_t InputBuffer::find(const std::string& terminator, std::size_t from) const
{
    if (terminator.empty() || from >= size())
        return std::string::npos;
    std::size_t hit;
    if (terminator.size() == 1) {
        const void* found = std::memchr(data_.data() + head_ + from, terminator[0], size() - from);
        if (!found)
            return std::string::npos;
        hit = static_cast<std::size_t>(static_cast<const char*>(found) - data_.data());
    } else {
        hit = data_.find(terminator, head_ + from);
        if (hit == std::string::npos)
            return hit;
    }
    return hit - head_;
}

std::string InputBuffer::take(std::size_t count)
{
    std::string out(data_, head_, count);
    head_ += count;
    if (head_ >= data_.size())
        clear();
    return out;
}

} // namespace nimbra
