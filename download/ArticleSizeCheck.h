#pragma once

#include <cstdint>
#include <string>

namespace nimbra {

// The size test of the article selection: one query at a time, for one article. The decision
// is made afresh for every query and never inherited from the previous article.
//
// A "lines" reply that carries no value for the article (an empty block, or a line without a
// value) leaves the size open; the caller then asks once more for the ":lines" metadata item.
// When that gives no number either, or the server refuses the query, the size is unknown: the
// article passes only when the minimum is 0. A value that is not a number makes the reply
// malformed, which the caller treats like a stalled connection.
class ArticleSizeCheck {
public:
    static constexpr long LinesPerKB = 23;
    static constexpr const char* LinesHeader = "lines";
    static constexpr const char* LinesMetadata = ":lines";

    enum Outcome { sizeDecided, sizeAskMetadata, sizeMalformed };

    // A new query for the article with this number, asking for the given header.
    void begin(const std::string& header, std::int64_t number);
    // One line of the reply: the article number, a space, the value. The limits are the
    // minimum and maximum fields in KB as they stand now; both bounds are included.
    void line(const std::string& text, long minimumKB, long maximumKB);
    // The query finished with this error value; sets SizeAccepted for the article.
    Outcome finish(std::uint16_t error, long minimumKB);

    const std::string& header() const { return header_; }
    std::int64_t number() const { return number_; }

    bool SizeAccepted = false;
    std::int32_t ArticleLines = 0;  // 0 while the size is unknown

private:
    std::string header_;
    std::int64_t number_ = 0;
    bool valueSeen_ = false;
    bool malformed_ = false;
};

} // namespace nimbra
