#pragma once

#include <string>

namespace nimbra {

// Reads the tokens of one header line from left to right. Every reader first skips TAB, LF,
// CR and space. The text must be NUL-terminated and outlive the reader; nothing past the NUL
// is read.
class HeaderTokenReader {
public:
    explicit HeaderTokenReader(const char* text) : at_(text) {}

    // Lower-cased text up to NUL, TAB, space, ":", ";" or "=". The delimiter is stepped over
    // and reported by stop(); when whitespace stopped the name and one of ":", ";", "=" comes
    // next, that one is stepped over and reported instead.
    std::string name();
    // As name(), but text in parentheses is kept (without the parentheses) and delimiters
    // inside them do not stop it.
    std::string value();
    // A quoted value runs to the next double quote, case kept; anything else as name().
    std::string parameter();
    // A quoted value runs to the next double quote, case kept; anything else is the whole rest
    // of the line, case kept. Reports no delimiter: stop() is NUL afterwards.
    std::string filename();
    // The text from here to the end of the line, as it stands.
    std::string restOfLine();

    // Where the next token would be read.
    const char* position() const { return at_; }

    // The delimiter that ended the last token; NUL at the end of the line or after filename().
    char stop() const { return stop_; }

private:
    std::string collect(bool keepParentheses);
    std::string quoted();
    void finishToken();
    void skipWhite();

    const char* at_;
    char stop_ = '\0';
};

} // namespace nimbra
