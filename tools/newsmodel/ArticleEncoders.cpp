#include "tools/newsmodel/ArticleEncoders.h"

#include <algorithm>

namespace nimbra::test {
namespace {

char uuChar(unsigned value)
{
    return value == 0 ? '`' : static_cast<char>(value + 32);
}

const char* const base64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string hexByte(unsigned char byte)
{
    static const char* const digits = "0123456789ABCDEF";
    return {'=', digits[byte >> 4], digits[byte & 15]};
}

// One text line (without CR LF) as quoted-printable lines joined by soft breaks.
void encodeQuotedLine(const std::string& line, std::vector<std::string>& out)
{
    std::string current;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        const bool last = i + 1 == line.size();
        const bool plain = byte >= 33 && byte <= 126 && byte != '=';
        const bool blank = (byte == ' ' || byte == '\t') && !last;
        const std::string piece = plain || blank ? std::string(1, static_cast<char>(byte)) : hexByte(byte);
        // 75 characters and the soft break "=" make the longest line.
        if (current.size() + piece.size() > 75) {
            out.push_back(current + "=");
            current.clear();
        }
        current += piece;
    }
    out.push_back(current);
}

} // namespace

std::vector<std::string> ArticleEncoders::uuLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size(); at += 45) {
        const std::size_t n = std::min<std::size_t>(45, bytes.size() - at);
        std::string line(1, uuChar(static_cast<unsigned>(n)));
        for (std::size_t i = 0; i < n; i += 3) {
            unsigned b[3] = {0, 0, 0};
            for (std::size_t k = 0; k < 3 && i + k < n; ++k)
                b[k] = static_cast<unsigned char>(bytes[at + i + k]);
            line += uuChar(b[0] >> 2);
            line += uuChar(((b[0] & 3) << 4) | (b[1] >> 4));
            line += uuChar(((b[1] & 15) << 2) | (b[2] >> 6));
            line += uuChar(b[2] & 63);
        }
        lines.push_back(std::move(line));
    }
    lines.emplace_back("`");
    return lines;
}

std::vector<std::string> ArticleEncoders::uuFile(const std::string& name, const std::string& bytes)
{
    std::vector<std::string> lines{"begin 644 " + name};
    for (std::string& line : uuLines(bytes))
        lines.push_back(std::move(line));
    lines.emplace_back("end");
    return lines;
}

std::vector<std::string> ArticleEncoders::base64Lines(const std::string& bytes)
{
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - at);
        unsigned group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[at + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= n ? base64Alphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size(); at += 76)
        lines.push_back(text.substr(at, 76));
    return lines;
}

std::vector<std::string> ArticleEncoders::quotedPrintableLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        encodeQuotedLine(text.substr(at, end - at), lines);
        at = end + 2;
    }
    return lines;
}

} // namespace nimbra::test
