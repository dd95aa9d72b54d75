#pragma once

#include <cstddef>

namespace nimbra {

// The body line decoders. Each takes one line without its line end and reads nothing
// past line + length; each writes at most as many bytes as it is documented to, so that a
// line can be decoded over itself inside the read buffer.
class LineDecoders {
public:
    // Base64, in place: leading spaces skipped, groups of four taken until the line's end,
    // its first NUL or a space. "=" stands for value 64 and suppresses the byte it ends; any
    // other byte outside the alphabet counts 255, unchecked. A final group of two or three
    // characters gives one or two bytes, a single left-over character none. The result is
    // NUL-terminated, so line[length] must be writable; returns the byte count (<= length).
    static std::size_t base64(char* line, std::size_t length) { return base64(line, length, line); }
    // The same into out, which must hold length + 1 bytes and may be line itself. Runs of 32
    // alphabet characters go through AVX2 where the processor has it (chosen once, at the
    // first call); the rest, and every line on other processors, through the scalar rules.
    static std::size_t base64(const char* line, std::size_t length, char* out);
    // The two paths, for tests that hold them against each other.
    static std::size_t base64Scalar(const char* line, std::size_t length, char* out);
    static std::size_t base64Avx2(const char* line, std::size_t length, char* out);
    static bool avx2Available();

    // Quoted-printable into out, which must hold length + 2 bytes. "=XY" gives one byte,
    // "=" and a single last character gives that character, a final "=" is a soft break and
    // ends the output; otherwise CR LF is appended. Returns the byte count; softBreak, when
    // given, tells whether the line ended in a soft break (no CR LF appended).
    static std::size_t quotedPrintable(const char* line, std::size_t length, char* out, bool* softBreak = nullptr);

    // One uuencoded line into out (out may be line itself): the first character gives the
    // count n, groups of four characters from the second give three bytes each. Characters
    // missing at the end of a short line count as value 0, as a trailing space stripped in
    // transit would; at most min(n, length) bytes are written. Returns the byte count.
    static std::size_t uudecode(const char* line, std::size_t length, char* out);
    // Its paths (AVX2 for runs of 32 characters where the processor has it), for tests.
    static std::size_t uudecodeScalar(const char* line, std::size_t length, char* out);
    static std::size_t uudecodeAvx2(const char* line, std::size_t length, char* out);
    // The same for an xxencoded line: alphabet "+-0-9A-Za-z" instead of space to "`"; a
    // character outside it counts 0.
    static std::size_t xxdecode(const char* line, std::size_t length, char* out);
    // A character's value in the xxencode alphabet (0-63), or -1 when it is not in it.
    static int xxValue(char c);

private:
    // base64 from in (past the leading spaces and any bulk already decoded to out) to end.
    static std::size_t base64Rest(const unsigned char* in, const unsigned char* end, unsigned char* out,
                                  char* output);
    // uudecode of a line of count bytes from pos in it, written bytes already out.
    static std::size_t uuRest(const char* line, std::size_t length, char* out, std::size_t count, std::size_t pos,
                              std::size_t written);
};

} // namespace nimbra
