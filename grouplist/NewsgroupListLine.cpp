#include "grouplist/NewsgroupListLine.h"

namespace nimbra {
namespace {

bool blank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

// The field at position up to the next blank; position moves past that blank.
std::string nextField(const std::string& line, std::size_t& position)
{
    if (position >= line.size())
        return {};
    const std::size_t end = line.find(' ', position);
    std::string field = line.substr(position, end == std::string::npos ? std::string::npos : end - position);
    position = end == std::string::npos ? line.size() : end + 1;
    return field;
}

std::int32_t lowBits(const std::string& field)
{
    std::size_t first = 0;
    std::size_t last = field.size();
    while (first < last && blank(field[first]))
        ++first;
    while (last > first && blank(field[last - 1]))
        --last;
    std::size_t i = first;
    bool negative = false;
    if (i < last && (field[i] == '+' || field[i] == '-'))
        negative = field[i++] == '-';
    if (i == last)
        return 0;
    std::uint64_t magnitude = 0;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    for (; i < last; ++i) {
        const char c = field[i];
        if (c < '0' || c > '9')
            return 0;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (limit - digit) / 10)
            return 0; // beyond 64 bits: not a number
        magnitude = magnitude * 10 + digit;
    }
    const std::uint64_t bits = negative ? ~magnitude + 1 : magnitude;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
}

} // namespace

NewsgroupListLine NewsgroupListLine::parse(const std::string& line)
{
    NewsgroupListLine out;
    std::size_t position = 0;
    out.name = nextField(line, position);
    // Servers that pad their numbers with blanks still give them in the right fields.
    for (std::int32_t* number : {&out.high, &out.low}) {
        while (position < line.size() && line[position] == ' ')
            ++position;
        *number = lowBits(nextField(line, position));
    }
    out.type = position < line.size() ? line.substr(position) : std::string();
    return out;
}

} // namespace nimbra
