#include "mime/HeaderParameters.h"

#include "mime/NameText.h"

#include <cstdlib>
#include <string_view>
#include <vector>

namespace nimbra {
namespace {

struct Raw {
    std::string name;   // lower-cased, with any "*n" and "*" still on it
    std::string value;
    bool quoted = false;
};

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::vector<Raw> split(const char* at)
{
    std::vector<Raw> out;
    while (*at) {
        while (*at && (blank(*at) || *at == ';'))
            ++at;
        Raw raw;
        while (*at && *at != '=' && *at != ';' && !blank(*at)) {
            const char c = *at++;
            raw.name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
        while (blank(*at))
            ++at;
        if (*at != '=') {
            while (*at && *at != ';')
                ++at;
            continue;
        }
        ++at;
        while (blank(*at))
            ++at;
        if (*at == '"') {
            raw.quoted = true;
            for (++at; *at && *at != '"'; ++at) {
                if (*at == '\\' && at[1])
                    ++at;
                raw.value += *at;
            }
            if (*at == '"')
                ++at;
        } else {
            while (*at && *at != ';')
                raw.value += *at++;
            while (!raw.value.empty() && blank(raw.value.back()))
                raw.value.pop_back();
        }
        if (!raw.name.empty())
            out.push_back(std::move(raw));
    }
    return out;
}

// "charset'language'text" of an extended value: text percent-decoded and made UTF-8.
std::string extended(const std::string& value)
{
    const std::size_t q1 = value.find('\'');
    const std::size_t q2 = q1 == std::string::npos ? q1 : value.find('\'', q1 + 1);
    if (q2 == std::string::npos)
        return NameText::percentDecoded(value);
    return NameText::fromCharset(NameText::percentDecoded(value.substr(q2 + 1)), value.substr(0, q1));
}

} // namespace

std::map<std::string, std::string> HeaderParameters::parse(const char* text)
{
    std::map<std::string, std::string> plain;
    // Continuations by name and section number, each with whether it is extended.
    std::map<std::string, std::map<int, std::pair<std::string, bool>>> sections;
    for (Raw& raw : split(text)) {
        const std::size_t star = raw.name.find('*');
        if (star == std::string::npos) {
            if (!plain.count(raw.name))
                plain[raw.name] = raw.quoted ? NameText::decodeWords(raw.value) : raw.value;
            continue;
        }
        const std::string base = raw.name.substr(0, star);
        // "name*" (extended), "name*0" (a section), "name*0*" (an extended section)
        std::string_view rest = std::string_view(raw.name).substr(star + 1);
        const bool isExtended = rest.empty() || rest.back() == '*';
        if (!rest.empty() && rest.back() == '*')
            rest.remove_suffix(1);
        int number = 0;
        if (!rest.empty()) {
            if (rest.size() > 3 || rest.find_first_not_of("0123456789") != std::string_view::npos)
                continue;
            number = std::atoi(std::string(rest).c_str());
        }
        sections[base][number] = {raw.value, isExtended};
    }
    for (auto& [name, parts] : sections) {
        std::string joined;
        int expected = 0;
        for (auto& [number, part] : parts) {
            if (number != expected++)
                break;  // a gap ends the value
            joined += part.first;
        }
        // The charset named in the first section applies to the whole value.
        plain[name] = parts.begin()->second.second ? extended(joined) : NameText::toUtf8(joined);
    }
    return plain;
}

} // namespace nimbra
