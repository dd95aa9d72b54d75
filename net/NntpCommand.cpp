#include "net/NntpCommand.h"

#include "net/NntpDateTime.h"

namespace nimbra {

const char* NntpCommand::articleWord(NntpRequest type)
{
    switch (type) {
    case nntpArticleByNumber: case nntpArticleByID: return "ARTICLE";
    case nntpBodyByID: case nntpBodyByNumber: return "BODY";
    case nntpHeadByID: case nntpHeadByNumber: return "HEAD";
    case nntpStatByID: case nntpStatByNumber: return "STAT";
    default: throw NntpException("Internal error: Invalid Request Type");
    }
}

std::string NntpCommand::dateArgument(DateTime when, bool gmt, const std::string& distributions)
{
    std::string text = NntpDateTime::commandText(when);
    if (gmt)
        text += " GMT";
    if (!distributions.empty())
        text += " <" + distributions + ">";
    return text;
}

std::string NntpCommand::trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string NntpCommand::range(std::int64_t first, std::int64_t last)
{
    return first == last ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(last);
}

} // namespace nimbra
