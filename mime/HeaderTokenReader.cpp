#include "mime/HeaderTokenReader.h"

#include <cstring>

namespace nimbra {
namespace {

bool isWhite(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool isDelimiter(char c)
{
    return c == '\0' || c == '\t' || c == ' ' || c == ':' || c == ';' || c == '=';
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

void HeaderTokenReader::skipWhite()
{
    while (isWhite(*at_))
        ++at_;
}

// Steps over the delimiter at the cursor and records it as the stop.
void HeaderTokenReader::finishToken()
{
    stop_ = *at_;
    if (stop_ == '\t' || stop_ == ' ') {
        skipWhite();
        if (*at_ == ':' || *at_ == ';' || *at_ == '=')
            stop_ = *at_++;
    } else if (stop_ != '\0') {
        ++at_;
    }
    skipWhite();
}

std::string HeaderTokenReader::collect(bool keepParentheses)
{
    skipWhite();
    std::string token;
    int depth = 0;
    for (; *at_ != '\0'; ++at_) {
        const char c = *at_;
        if (keepParentheses && c == '(') {
            ++depth;
            continue;
        }
        if (keepParentheses && c == ')' && depth > 0) {
            --depth;
            continue;
        }
        if (depth == 0 && isDelimiter(c))
            break;
        token += lower(c);
    }
    finishToken();
    return token;
}

// The text between the opening quote at the cursor and the next quote (or the line's end).
std::string HeaderTokenReader::quoted()
{
    ++at_;
    const char* close = std::strchr(at_, '"');
    const char* end = close ? close : at_ + std::strlen(at_);
    std::string token(at_, end);
    at_ = close ? close + 1 : end;
    return token;
}

std::string HeaderTokenReader::name()
{
    return collect(false);
}

std::string HeaderTokenReader::value()
{
    return collect(true);
}

std::string HeaderTokenReader::parameter()
{
    skipWhite();
    if (*at_ != '"')
        return collect(false);
    std::string token = quoted();
    skipWhite();
    stop_ = *at_;
    if (stop_ == ':' || stop_ == ';' || stop_ == '=')
        ++at_;
    skipWhite();
    return token;
}

std::string HeaderTokenReader::filename()
{
    skipWhite();
    std::string token = *at_ == '"' ? quoted() : restOfLine();
    stop_ = '\0';
    return token;
}

std::string HeaderTokenReader::restOfLine()
{
    std::string rest(at_);
    at_ += rest.size();
    return rest;
}

} // namespace nimbra
