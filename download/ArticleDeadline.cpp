#include "download/ArticleDeadline.h"

#include "download/SessionSettings.h"

#include <algorithm>
#include <limits>

namespace nimbra {

ArticleDeadline::ArticleDeadline()
{
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (OnExpired)
            OnExpired();
    });
}

std::int64_t ArticleDeadline::seconds(std::uint64_t bytes, std::int64_t watchdogSeconds)
{
    return watchdogSeconds + static_cast<std::int64_t>((bytes + MinimumRate - 1) / MinimumRate);
}

std::uint64_t ArticleDeadline::bytes(std::int64_t lines, std::uint64_t limit)
{
    if (lines <= 0)
        return limit;
    return std::min(limit, static_cast<std::uint64_t>(lines) * SessionSettings::BytesPerLine);
}

void ArticleDeadline::start(std::int64_t seconds, int millisecondsPerSecond)
{
    allowed_ = seconds;
    const std::int64_t most = std::numeric_limits<int>::max() / std::max(millisecondsPerSecond, 1);
    timer_.start(static_cast<int>(std::min(seconds, most) * millisecondsPerSecond));
}

} // namespace nimbra
