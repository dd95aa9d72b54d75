#pragma once

#include <map>
#include <string>

namespace nimbra {

// The "name=value" parameters after a Content-Type or Content-Disposition value, all of
// them, in any order: names lower-cased, values with their case, quoted strings unquoted
// (with backslash escapes), RFC 2231 continuations ("name*0=", "name*1*=") joined and
// extended values ("name*=charset'lang'%XX") decoded, and RFC 2047 encoded words in a value
// decoded. A name given both ways keeps the RFC 2231 form. Text must be NUL-terminated.
class HeaderParameters {
public:
    static std::map<std::string, std::string> parse(const char* text);
};

} // namespace nimbra
