#pragma once

#include "net/NntpClient.h"

#include <string>

namespace nimbra {

// Pieces of the command lines the client sends.
class NntpCommand {
public:
    // The command word of a request of the article family ("ARTICLE", "BODY", "HEAD",
    // "STAT"); NntpException "Internal error: Invalid Request Type" for any other type.
    static const char* articleWord(NntpRequest type);
    // "yymmdd hhnnss", then " GMT" when gmt, then " <distributions>" when there are any.
    static std::string dateArgument(DateTime when, bool gmt, const std::string& distributions);
    // The text without blanks (space, tab, CR, LF) at either end.
    static std::string trimmed(const std::string& text);
    // "first-last", or the one number when both are the same.
    static std::string range(std::int64_t first, std::int64_t last);
};

} // namespace nimbra
