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

std::optional<std::string> ArticleLineFollower::percentText(std::int32_t articleLines) const
{
    if (articleLines <= 0)
        return std::nullopt;
    const double share = static_cast<double>(BodyLines) / articleLines;
    return std::to_string(roundHalfEven(share * 100)) + "%";
}

} // namespace nimbra
