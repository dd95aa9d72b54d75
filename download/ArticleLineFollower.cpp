#include "download/ArticleLineFollower.h"

#include "platform/Rounding.h"

namespace nimbra {

ArticleLineFollower::LineKind ArticleLineFollower::follow(const std::string& line)
{
    if (InBody) {
        ++BodyLines;
        return bodyLine;
    }
    if (!line.empty())
        return headerLine;
    InBody = true;
    BodyLines = 0;
    return separatorLine;
}

std::optional<std::int64_t> ArticleLineFollower::percent(std::int32_t articleLines) const
{
    if (articleLines <= 0)
        return std::nullopt;
    return roundHalfEven(static_cast<double>(BodyLines) / articleLines * 100);
}

std::optional<std::string> ArticleLineFollower::percentText(std::int32_t articleLines) const
{
    const std::optional<std::int64_t> value = percent(articleLines);
    if (!value)
        return std::nullopt;
    return std::to_string(*value) + "%";
}

} // namespace nimbra
