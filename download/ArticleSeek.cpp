#include "download/ArticleSeek.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace nimbra {

bool ArticleSeek::start(std::int64_t from, std::int64_t last)
{
    groupLast_ = last;
    window_ = FirstWindow;
    queries_ = 0;
    if (from > last)
        return false;
    first_ = from;
    last_ = from + std::min(window_ - 1, last - from);
    found_ = taken_ = 0;
    queries_ = 1;
    return true;
}

std::string ArticleSeek::range() const { return std::to_string(first_) + "-" + std::to_string(last_); }

bool ArticleSeek::line(const std::string& text)
{
    std::int64_t number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (error != std::errc() || stop == text.data() || number < first_ || number > last_ || number <= taken_)
        return false;
    taken_ = number;
    if (found_ == 0)
        found_ = number;
    return true;
}

bool ArticleSeek::next()
{
    if (last_ >= groupLast_)
        return false;
    if (window_ <= std::numeric_limits<std::int64_t>::max() / 2)
        window_ *= 2;
    first_ = last_ + 1;
    last_ = first_ + std::min(window_ - 1, groupLast_ - first_);
    found_ = taken_ = 0;
    queries_ += 1;
    return true;
}

} // namespace nimbra
