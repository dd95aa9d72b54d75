#pragma once

#include <string>
#include <string_view>

namespace nimbra {

// File names as senders write them: in UTF-8, in a legacy 8-bit set, or as RFC 2047
// encoded words. Everything here returns valid UTF-8.
class NameText {
public:
    // Valid UTF-8 is kept as it is; anything else is read as Windows-1252 (a superset of
    // Latin-1 in its printable range, the usual set of 8-bit Usenet names).
    static std::string toUtf8(std::string_view bytes);
    // Bytes in the named character set as UTF-8: UTF-8 and US-ASCII as toUtf8, every other
    // set read as Windows-1252.
    static std::string fromCharset(std::string_view bytes, std::string_view charset);
    // Decodes every "=?charset?B|Q?text?=" word in text; blanks between two words go.
    static std::string decodeWords(std::string_view text);
    // "%XX" escapes of an RFC 2231 extended value.
    static std::string percentDecoded(std::string_view text);
    static bool validUtf8(std::string_view bytes);
};

} // namespace nimbra
