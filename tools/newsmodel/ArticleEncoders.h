#pragma once

// The encodings posters use for files in articles, written apart from the program's decoder
// so that a round trip checks one against the other. Lines come without their line ends and
// unstuffed (the server adds the dots). yEnc is in YencEncoder.h.

#include <string>
#include <vector>

namespace nimbra::test {

class ArticleEncoders {
public:
    // uuencoded data lines, 45 bytes a line, "`" for zero; ends with the empty line "`".
    static std::vector<std::string> uuLines(const std::string& bytes);
    // "begin 644 name", the data lines, "end".
    static std::vector<std::string> uuFile(const std::string& name, const std::string& bytes);
    // base64 in lines of 76 characters, padded with "=".
    static std::vector<std::string> base64Lines(const std::string& bytes);
    // Quoted-printable of a text whose lines end in CR LF (a last line without one gets it
    // on decoding): at most 76 characters a line, soft breaks "=" for longer lines, "=XX"
    // for bytes outside printable ASCII, for "=" and for a blank at a line's end.
    static std::vector<std::string> quotedPrintableLines(const std::string& text);
};

} // namespace nimbra::test
