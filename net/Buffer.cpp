#include "net/Buffer.h"

#include <algorithm>
#include <cstring>

namespace nimbra {

Buffer::Buffer(int size) : storage_(static_cast<std::size_t>(size > 0 ? size : DefaultSize)) {}

void Buffer::SetSize(int size)
{
    storage_.resize(static_cast<std::size_t>(size > 0 ? size : DefaultSize));
    wrCount_ = std::min(wrCount_, Size());
    rdCount_ = std::min(rdCount_, wrCount_);
}

int Buffer::Write(const char* data, int count)
{
    const int n = std::clamp(count, 0, Size() - wrCount_);
    if (n > 0)
        std::memcpy(storage_.data() + wrCount_, data, static_cast<std::size_t>(n));
    wrCount_ += n;
    return n;
}

const char* Buffer::Peek(int& count) const
{
    count = wrCount_ - rdCount_;
    return count > 0 ? storage_.data() + rdCount_ : nullptr;
}

int Buffer::Remove(int count)
{
    const int n = std::clamp(count, 0, wrCount_ - rdCount_);
    rdCount_ += n;
    if (rdCount_ >= wrCount_)
        rdCount_ = wrCount_ = 0;
    return n;
}

} // namespace nimbra
