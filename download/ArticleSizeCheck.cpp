#include "download/ArticleSizeCheck.h"

#include "download/SessionReply.h"

#include <charconv>

namespace nimbra {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trimmed(const std::string& text, std::size_t from)
{
    std::size_t begin = from;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

} // namespace

void ArticleSizeCheck::begin(const std::string& header, std::int64_t number)
{
    header_ = header;
    number_ = number;
    valueSeen_ = false;
    malformed_ = false;
    SizeAccepted = false;
    ArticleLines = 0;
}

void ArticleSizeCheck::line(const std::string& text, long minimumKB, long maximumKB)
{
    const std::size_t space = text.find(' ');
    const std::string value = space == std::string::npos ? std::string() : trimmed(text, space + 1);
    if (value.empty())
        return;  // no value for this article: as if the line were not there
    const char* first = value.data() + (value[0] == '+' ? 1 : 0);
    const char* last = value.data() + value.size();
    std::int32_t lines = 0;
    const auto [end, error] = std::from_chars(first, last, lines);
    if (error != std::errc() || end != last || first == last) {
        malformed_ = true;
        SizeAccepted = false;
        return;
    }
    valueSeen_ = true;
    ArticleLines = lines;
    SizeAccepted = !(lines < minimumKB * LinesPerKB) && !(lines > maximumKB * LinesPerKB);
}

ArticleSizeCheck::Outcome ArticleSizeCheck::finish(std::uint16_t error, long minimumKB)
{
    if (malformed_) {
        SizeAccepted = false;
        return sizeMalformed;
    }
    if (error == replySuccess && valueSeen_)
        return sizeDecided;
    if (error == replySuccess && header_ == LinesHeader)
        return sizeAskMetadata;
    if (error == replyNoSuchArticle) {
        SizeAccepted = false;
        return sizeDecided;
    }
    ArticleLines = 0;
    SizeAccepted = minimumKB <= 0;
    return sizeDecided;
}

} // namespace nimbra
