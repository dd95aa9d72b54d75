#pragma once

#include <string>
#include <vector>

namespace nimbra {

// File and folder names made from text that comes from outside: a server's host text, a
// newsgroup name, an attachment name from an article. None of them may lead outside the
// folder it is meant for.
class SafeName {
public:
    // A name for text that is mostly a plain name already (a host, a newsgroup). Plain text
    // (letters, digits and . _ + - @ :, not starting with ".", not one of reserved) is kept as
    // it is; anything else is mapped to a plain form followed by "~" and a hash of the whole
    // text, so the same text always gives the same name and no two texts share one.
    static std::string mapped(const std::string& text, const std::vector<std::string>& reserved = {});

    // An attachment's file name: directory parts ("/" and "\") stripped, control characters
    // and NUL dropped, "." and ".." refused, a name past 200 bytes shortened before its
    // extension (at a character boundary). Case, spaces and everything else are kept.
    // Empty when nothing usable is left; the caller then falls back to a generated name.
    static std::string attachment(const std::string& name);

    static std::string lowerCase(std::string text);
};

} // namespace nimbra
