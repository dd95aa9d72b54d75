#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbra {

// Text tests of the uudecoding path, over bytes that are not NUL-terminated. "Lowered"
// arguments are lower-case ASCII; the text is compared as if lower-cased.
class UuText {
public:
    static bool equalsLowered(const char* text, std::size_t length, std::string_view lowered);
    static bool startsWithLowered(std::string_view text, std::string_view lowered);
    // Holds both "--" and "cut here", ignoring case: the marker lines of split postings.
    static bool isCutHereMarker(std::string_view text);
    // The text after the first space, or the whole text when it has none; at most 255 bytes.
    static std::string afterSpace(std::string_view text);
    // The bytes up to the first NUL, without leading and trailing control bytes and spaces.
    static std::string_view inlineText(const char* data, std::size_t len);
    // Where inlineText would begin: past leading control bytes and spaces, stopping at a NUL.
    static std::size_t leadingBlanks(const char* data, std::size_t len);
};

} // namespace nimbra
