#include "app/FieldRules.h"

#include <charconv>

namespace nimbra {
namespace {

std::string inRange(const std::string& text, int low, int high, const char* fallback)
{
    const auto value = FieldRules::number(text);
    return value && *value >= low && *value <= high ? text : fallback;
}

} // namespace

std::optional<int> FieldRules::number(const std::string& text)
{
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first; // from_chars takes "-" but not "+"
    if (first == last || *first == '+')
        return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

std::string FieldRules::timeout(const std::string& text)
{
    return inRange(text, 10, 600, "20");
}

std::string FieldRules::cache(const std::string& text)
{
    return inRange(text, 2, 10000, "2000");
}

std::string FieldRules::pipeline(const std::string& text)
{
    return inRange(text, 1, 64, "16");
}

std::string FieldRules::similarBits(const std::string& text)
{
    return inRange(text, 0, 16, "5");
}

std::string FieldRules::connections(const std::string& text)
{
    return inRange(text, 1, 50, "4");
}

FieldRules::Sizes FieldRules::minimumLeft(const Sizes& sizes)
{
    const auto minimum = number(sizes.minimum);
    const auto maximum = number(sizes.maximum);
    const bool valid = minimum && *minimum >= 0 && *minimum <= 50000 && maximum && *minimum < *maximum;
    return {valid ? sizes.minimum : "0", sizes.maximum};
}

FieldRules::Sizes FieldRules::maximumLeft(const Sizes& sizes)
{
    const std::string maximumText = inRange(sizes.maximum, 1, 50000, "200");
    const auto minimum = number(sizes.minimum);
    const bool below = minimum && *minimum < *number(maximumText);
    return {below ? sizes.minimum : "0", maximumText};
}

std::string FieldRules::port(const std::string& text)
{
    const bool digits = !text.empty() && text.size() <= 5
        && text.find_first_not_of("0123456789") == std::string::npos;
    return digits ? text : "119";
}

} // namespace nimbra
