#include "download/PartCounter.h"

#include <cctype>

namespace nimbra {
namespace {

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

// The run of digits ending just before `end` (exclusive); false when there is none or it is
// too long to be a part count.
bool digitsBefore(const std::string& text, std::size_t end, std::size_t& start, std::uint32_t& value)
{
    start = end;
    while (start > 0 && digit(text[start - 1]))
        --start;
    if (start == end || end - start > 6)
        return false;
    value = static_cast<std::uint32_t>(std::stoul(text.substr(start, end - start)));
    return true;
}

bool digitsAfter(const std::string& text, std::size_t begin, std::size_t& end, std::uint32_t& value)
{
    end = begin;
    while (end < text.size() && digit(text[end]))
        ++end;
    if (end == begin || end - begin > 6)
        return false;
    value = static_cast<std::uint32_t>(std::stoul(text.substr(begin, end - begin)));
    return true;
}

std::string trimmedEnd(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '-'))
        text.pop_back();
    return text;
}

} // namespace

std::optional<PartCounter::Counted> PartCounter::find(const std::string& subject)
{
    std::optional<Counted> found;
    for (std::size_t at = 0; at < subject.size(); ++at) {
        std::size_t start = 0;
        std::size_t end = 0;
        std::uint32_t number = 0;
        std::uint32_t total = 0;
        std::size_t counterStart = 0;
        if (subject[at] == '/') {
            // "(n/m)" or "[n/m]"
            if (!digitsBefore(subject, at, start, number) || !digitsAfter(subject, at + 1, end, total))
                continue;
            if (start == 0 || end >= subject.size())
                continue;
            const char open = subject[start - 1];
            const char close = subject[end];
            if (!((open == '(' && close == ')') || (open == '[' && close == ']')))
                continue;
            counterStart = start - 1;
        } else if (subject.compare(at, 4, " of ") == 0 || subject.compare(at, 4, " OF ") == 0) {
            // "n of m", as a word of its own
            if (!digitsBefore(subject, at, start, number) || !digitsAfter(subject, at + 4, end, total))
                continue;
            if ((start > 0 && std::isalnum(static_cast<unsigned char>(subject[start - 1])))
                || (end < subject.size() && std::isalnum(static_cast<unsigned char>(subject[end]))))
                continue;
            counterStart = start;
        } else {
            continue;
        }
        if (number >= 1 && number <= total)
            found = Counted{trimmedEnd(subject.substr(0, counterStart)), number, total};
    }
    return found;
}

} // namespace nimbra
