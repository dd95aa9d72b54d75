#include "mime/YencHeader.h"

#include <functional>

namespace nimbra {
namespace {

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isKeyword(std::string_view line, std::string_view keyword)
{
    return line.substr(0, keyword.size()) == keyword && (line.size() == keyword.size() || blank(line[keyword.size()]));
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool number(std::string_view text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 19)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

bool hex(std::string_view text, std::uint32_t& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 8)
        return false;
    value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        value = (value << 4) | digit;
    }
    return true;
}

// Calls visit(key, value) for each key=value token; stops and returns false when visit does.
// A token named stopKey ends the scan: the rest of the line is its value.
bool scan(std::string_view params, const std::function<bool(std::string_view, std::string_view)>& visit,
          std::string_view stopKey = {})
{
    std::size_t at = 0;
    while (at < params.size()) {
        while (at < params.size() && blank(params[at]))
            ++at;
        if (at >= params.size())
            break;
        std::size_t stop = at;
        while (stop < params.size() && !blank(params[stop]))
            ++stop;
        const std::string_view token = params.substr(at, stop - at);
        const std::size_t equals = token.find('=');
        if (equals != std::string_view::npos) {
            const std::string_view key = token.substr(0, equals);
            if (!stopKey.empty() && key == stopKey)
                return visit(key, trim(params.substr(at + equals + 1)));
            if (!visit(key, token.substr(equals + 1)))
                return false;
        }
        at = stop;
    }
    return true;
}

bool optionalNumber(std::string_view value, std::optional<std::uint64_t>& field)
{
    std::uint64_t n;
    if (!number(value, n))
        return false;
    field = n;
    return true;
}

bool optionalHex(std::string_view value, std::optional<std::uint32_t>& field)
{
    std::uint32_t n;
    if (!hex(value, n))
        return false;
    field = n;
    return true;
}

} // namespace

bool YencHeader::isBegin(std::string_view line)
{
    return isKeyword(line, "=ybegin");
}

bool YencHeader::isPart(std::string_view line)
{
    return isKeyword(line, "=ypart");
}

bool YencHeader::isEnd(std::string_view line)
{
    return isKeyword(line, "=yend");
}

std::optional<YencBegin> YencHeader::parseBegin(std::string_view line)
{
    if (!isBegin(line))
        return std::nullopt;
    YencBegin begin;
    std::optional<std::uint64_t> size;
    bool named = false;
    const bool ok = scan(line.substr(7), [&](std::string_view key, std::string_view value) {
        if (key == "name") {
            begin.name = std::string(value);
            named = true;
            return true;
        }
        if (key == "size")
            return optionalNumber(value, size);
        if (key == "line")
            return optionalNumber(value, begin.line);
        if (key == "part")
            return optionalNumber(value, begin.part);
        if (key == "total")
            return optionalNumber(value, begin.total);
        return true;
    }, "name");
    if (!ok || !size || !named)
        return std::nullopt;
    begin.size = *size;
    return begin;
}

std::optional<YencPart> YencHeader::parsePart(std::string_view line)
{
    if (!isPart(line))
        return std::nullopt;
    std::optional<std::uint64_t> first;
    std::optional<std::uint64_t> last;
    const bool ok = scan(line.substr(6), [&](std::string_view key, std::string_view value) {
        if (key == "begin")
            return optionalNumber(value, first);
        if (key == "end")
            return optionalNumber(value, last);
        return true;
    });
    if (!ok || !first || !last || *first < 1 || *first > *last)
        return std::nullopt;
    return YencPart{*first, *last};
}

std::optional<YencEnd> YencHeader::parseEnd(std::string_view line)
{
    if (!isEnd(line))
        return std::nullopt;
    YencEnd end;
    const bool ok = scan(line.substr(5), [&](std::string_view key, std::string_view value) {
        if (key == "size")
            return optionalNumber(value, end.size);
        if (key == "part")
            return optionalNumber(value, end.part);
        if (key == "pcrc32")
            return optionalHex(value, end.pcrc32);
        if (key == "crc32")
            return optionalHex(value, end.crc32);
        return true;
    });
    if (!ok)
        return std::nullopt;
    return end;
}

} // namespace nimbra
