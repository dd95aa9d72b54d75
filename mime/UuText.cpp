#include "mime/UuText.h"

#include <algorithm>
#include <cstring>

namespace nimbra {
namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool blank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

bool containsLowered(std::string_view text, std::string_view lowered)
{
    auto found = std::search(text.begin(), text.end(), lowered.begin(), lowered.end(),
                             [](char a, char b) { return lower(a) == b; });
    return found != text.end() || lowered.empty();
}

} // namespace

bool UuText::equalsLowered(const char* text, std::size_t length, std::string_view lowered)
{
    return length == lowered.size() && startsWithLowered(std::string_view(text, length), lowered);
}

bool UuText::startsWithLowered(std::string_view text, std::string_view lowered)
{
    if (text.size() < lowered.size())
        return false;
    for (std::size_t i = 0; i < lowered.size(); ++i) {
        if (lower(text[i]) != lowered[i])
            return false;
    }
    return true;
}

bool UuText::isCutHereMarker(std::string_view text)
{
    return text.find("--") != std::string_view::npos && containsLowered(text, "cut here");
}

std::string UuText::afterSpace(std::string_view text)
{
    const std::size_t space = text.find(' ');
    const std::string_view rest = space == std::string_view::npos ? text : text.substr(space + 1);
    return std::string(rest.substr(0, 255));
}

std::size_t UuText::leadingBlanks(const char* data, std::size_t len)
{
    std::size_t at = 0;
    while (at < len && data[at] != '\0' && blank(data[at]))
        ++at;
    return at;
}

std::string_view UuText::inlineText(const char* data, std::size_t len)
{
    const void* nul = std::memchr(data, 0, len);
    std::size_t end = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - data) : len;
    const std::size_t begin = leadingBlanks(data, end);
    while (end > begin && blank(data[end - 1]))
        --end;
    return std::string_view(data + begin, end - begin);
}

} // namespace nimbra
