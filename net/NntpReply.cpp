#include "net/NntpReply.h"

#include "net/NntpDateTime.h"

#include <limits>

namespace nimbra {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

std::uint16_t NntpReply::errorValue(std::int32_t code)
{
    // Three digits, as every NNTP reply code has: a longer number could pass for one of the
    // socket errors (10000 and up) that say a request was cut short by a close.
    return static_cast<std::uint16_t>(code >= 100 && code <= 999 ? code : static_cast<int>(UnreadableReply));
}

bool NntpReply::opensBlock(std::int32_t code)
{
    switch (code) {
    case HelpFollows: case ListFollows: case ArticleFollows: case HeadFollows: case BodyFollows:
    case ArticleSelected: case OverviewFollows: case NewNewsFollows: case NewGroupsFollows:
        return true;
    default:
        return false;
    }
}

std::int32_t NntpReply::readNumber(const std::string& line, std::size_t& pos)
{
    while (pos < line.size() && isBlank(line[pos]))
        ++pos;
    bool negative = false;
    if (pos < line.size() && (line[pos] == '+' || line[pos] == '-'))
        negative = line[pos++] == '-';
    long long value = 0;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
        if (value <= std::numeric_limits<std::int32_t>::max())
            value = value * 10 + (line[pos] - '0');
        ++pos;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

bool NntpReply::readArticleNumber(const std::string& line, std::size_t& pos, std::int64_t& value)
{
    while (pos < line.size() && isBlank(line[pos]))
        ++pos;
    const std::size_t first = pos;
    std::int64_t number = 0;
    bool overflow = false;
    for (; pos < line.size() && line[pos] >= '0' && line[pos] <= '9'; ++pos) {
        const int digit = line[pos] - '0';
        if (number > (std::numeric_limits<std::int64_t>::max() - digit) / 10)
            overflow = true;
        else
            number = number * 10 + digit;
    }
    if (pos == first || overflow || (pos < line.size() && !isBlank(line[pos])))
        return false;
    value = number;
    return true;
}

std::string NntpReply::readMessageId(const std::string& line, std::size_t pos)
{
    const std::size_t open = line.find('<', pos);
    if (open == std::string::npos)
        return {};
    const std::size_t close = line.find('>', open + 1);
    return line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

bool NntpReply::readDate(const std::string& text, double& when)
{
    if (text.size() != 14)
        return false;
    int fields[6];
    const std::size_t starts[] = {0, 4, 6, 8, 10, 12, 14};
    for (int i = 0; i < 6; ++i) {
        std::size_t pos = 0;
        fields[i] = readNumber(text.substr(starts[i], starts[i + 1] - starts[i]), pos);
    }
    const int year = fields[0], month = fields[1], day = fields[2];
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)
        || fields[3] < 0 || fields[3] > 23 || fields[4] < 0 || fields[4] > 59 || fields[5] < 0 || fields[5] > 59)
        return false;
    when = NntpDateTime::encode(year, month, day, fields[3], fields[4], fields[5]);
    return true;
}

} // namespace nimbra
