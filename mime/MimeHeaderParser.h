#pragma once

#include "mime/MimeHeaderFields.h"

#include <string>
#include <vector>

namespace nimbra {

// Stores what one header line says into the decoder's fields. A line whose name is not
// followed by ":" and lines of other names change nothing. Lines are NUL-terminated.
class MimeHeaderParser {
public:
    static void messageLine(const char* line, MessageHeaderFields& message);

    // partCharSet is kept apart from the part fields because only the decoder's reset
    // empties it; every "boundary" parameter found is added to nestedBoundaries as
    // "--" + the lower-cased value.
    static void partLine(const char* line, PartHeaderFields& part, std::string& partCharSet,
                         std::vector<std::string>& nestedBoundaries);
};

} // namespace nimbra
