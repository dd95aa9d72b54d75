#include "net/OverviewFormat.h"

#include <cctype>

namespace nimbra {
namespace {

constexpr int StandardFields = 7;

bool equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Digits only, up to 2^63-1; -1 otherwise (an empty field included).
std::int64_t count(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.empty())
        return -1;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > (INT64_MAX - (c - '0')) / 10)
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

void OverviewFormat::reset()
{
    listed_ = 0;
    extra_.clear();
}

void OverviewFormat::addLine(std::string_view line)
{
    // The first seven lines name the standard fields, whatever their spelling.
    if (listed_++ < StandardFields)
        return;
    std::string name(line.substr(0, line.find(':') == std::string_view::npos ? line.size() : line.find(':')));
    if (name.empty() && line.size() > 1)
        name = std::string(line.substr(1));  // a metadata item such as ":bytes" past the seven
    extra_.push_back(std::move(name));
}

int OverviewFormat::extraIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < extra_.size(); ++i)
        if (equalNoCase(extra_[i], name))
            return static_cast<int>(i);
    return -1;
}

bool OverviewFormat::parse(std::string_view line, OverviewLine& out) const
{
    std::string_view fields[StandardFields + 1];
    out.extra.clear();
    std::size_t start = 0;
    std::size_t index = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        const std::string_view field = line.substr(start, tab == std::string_view::npos ? line.npos : tab - start);
        if (index <= StandardFields)
            fields[index] = field;
        else if (out.extra.size() < extra_.size())
            out.extra.push_back(field);
        ++index;
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    out.number = count(fields[0]);
    if (out.number < 0)
        return false;
    out.subject = fields[1];
    out.from = fields[2];
    out.date = fields[3];
    out.messageId = fields[4];
    out.references = fields[5];
    out.bytes = count(fields[6]);
    out.lines = count(fields[7]);
    return true;
}

} // namespace nimbra
