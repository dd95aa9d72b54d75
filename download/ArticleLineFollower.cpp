#include "download/ArticleLineFollower.h"

#include "platform/Rounding.h"

#include <algorithm>

namespace nimbra {

namespace {
constexpr const char* SubjectMark = "Subject: ";
constexpr std::size_t SubjectPrefixLength = 9;
constexpr std::size_t PartCounterLength = 7;
} // namespace

std::string ArticleLineFollower::subjectStem(const std::string& line)
{
    std::string stem = line.substr(std::min(SubjectPrefixLength, line.size()));
    stem.resize(stem.size() - std::min(PartCounterLength, stem.size()));
    return stem;
}

ArticleLineFollower::LineKind ArticleLineFollower::follow(const std::string& line, bool& sameSubject)
{
    if (InBody) {
        ++BodyLines;
        return bodyLine;
    }
    if (line.find(SubjectMark) != std::string::npos) {
        std::string stem = subjectStem(line);
        sameSubject = stem == LastSubject;
        LastSubject = std::move(stem);
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
