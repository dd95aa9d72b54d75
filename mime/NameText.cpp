#include "mime/NameText.h"

#include "mime/LineDecoders.h"

#include <array>
#include <cstdint>

namespace nimbra {
namespace {

// Windows-1252 code points for 0x80..0x9F; the rest of the set equals Latin-1.
constexpr std::array<std::uint16_t, 32> High1252{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendCodePoint(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string windows1252(std::string_view bytes)
{
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        appendCodePoint(out, c >= 0x80 && c < 0xA0 ? High1252[c - 0x80] : c);
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One encoded word's text, decoded; false when it is not one.
bool decodeWord(std::string_view word, std::string& out)
{
    // =?charset?X?text?=
    if (word.size() < 8 || word.substr(0, 2) != "=?" || word.substr(word.size() - 2) != "?=")
        return false;
    const std::string_view inner = word.substr(2, word.size() - 4);
    const std::size_t q1 = inner.find('?');
    if (q1 == std::string_view::npos || q1 + 2 >= inner.size() || inner[q1 + 2] != '?')
        return false;
    std::string_view charset = inner.substr(0, q1);
    charset = charset.substr(0, charset.find('*'));  // RFC 2231 language suffix
    const char method = inner[q1 + 1];
    std::string text(inner.substr(q1 + 3));
    std::string bytes;
    if (method == 'B' || method == 'b') {
        text.push_back('\0');
        bytes.assign(text.data(), LineDecoders::base64(text.data(), text.size() - 1));
    } else if (method == 'Q' || method == 'q') {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '_') {
                bytes += ' ';
            } else if (text[i] == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0
                       && hexValue(text[i + 2]) >= 0) {
                bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
                i += 2;
            } else {
                bytes += text[i];
            }
        }
    } else {
        return false;
    }
    out = NameText::fromCharset(bytes, charset);
    return true;
}

} // namespace

bool NameText::validUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = 0;
        std::uint32_t cp = c;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else if (c >= 0x80) {
            return false;
        }
        if (i + extra >= bytes.size() && extra > 0)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string NameText::toUtf8(std::string_view bytes)
{
    return validUtf8(bytes) ? std::string(bytes) : windows1252(bytes);
}

std::string NameText::fromCharset(std::string_view bytes, std::string_view charset)
{
    std::string lowered(charset);
    for (char& c : lowered)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lowered.empty() || lowered == "utf-8" || lowered == "utf8" || lowered == "us-ascii")
        return toUtf8(bytes);
    return windows1252(bytes);
}

std::string NameText::decodeWords(std::string_view text)
{
    std::string out;
    bool lastWasWord = false;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find("=?", at);
        std::size_t end = std::string_view::npos;
        if (start != std::string_view::npos) {
            // The word ends at the "?=" after its charset and method.
            const std::size_t q1 = text.find('?', start + 2);
            const std::size_t q2 = q1 == std::string_view::npos ? q1 : text.find('?', q1 + 1);
            const std::size_t close = q2 == std::string_view::npos ? q2 : text.find("?=", q2 + 1);
            end = close == std::string_view::npos ? close : close + 2;
        }
        std::string decoded;
        if (end == std::string_view::npos || !decodeWord(text.substr(start, end - start), decoded)) {
            out += text.substr(at);
            break;
        }
        const std::string_view between = text.substr(at, start - at);
        const bool onlyBlanks = between.find_first_not_of(" \t") == std::string_view::npos;
        if (!(lastWasWord && onlyBlanks))
            out += between;
        out += decoded;
        lastWasWord = true;
        at = end;
    }
    return out;
}

std::string NameText::percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace nimbra
