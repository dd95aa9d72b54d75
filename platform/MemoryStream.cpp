#include "platform/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace nimbra {

std::size_t MemoryStream::read(char* buffer, std::size_t count)
{
    if (position_ >= data_.size())
        return 0;
    const std::size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

std::size_t MemoryStream::write(const char* data, std::size_t count)
{
    if (count == 0)
        return 0;
    if (position_ == data_.size()) {
        data_.append(data, count);
    } else {
        if (position_ + count > data_.size())
            data_.resize(position_ + count);
        std::memcpy(data_.data() + position_, data, count);
    }
    position_ += count;
    return count;
}

void MemoryStream::seek(std::int64_t position)
{
    position_ = position < 0 ? 0 : static_cast<std::size_t>(position);
}

void MemoryStream::clear()
{
    data_.clear();
    position_ = 0;
}

} // namespace nimbra
