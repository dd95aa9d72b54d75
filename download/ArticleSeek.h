#pragma once

#include <cstdint>
#include <string>

namespace nimbra {

// Finds the first article that exists at or after a number the server answered 423 for,
// without one round trip per number: the message-ids of a range of numbers are asked at once
// ("XHDR Message-ID first-last"), and only numbers that exist come back. The first range holds
// FirstWindow numbers and each empty answer doubles the next one, so a gap of n numbers takes
// about log2(n / FirstWindow) + 1 queries, and a range is never asked before the one below it
// came back empty, so a reply holds at most as many lines as empty numbers were passed.
// Lines outside the range asked, or not above the line before, are not taken.
class ArticleSeek {
public:
    static constexpr std::int64_t FirstWindow = 1000;
    static constexpr const char* Header = "Message-ID";

    // A new search from `from` up to the group's `last`; false when from lies past last.
    bool start(std::int64_t from, std::int64_t last);
    // The range of the current query, "first-last".
    std::string range() const;
    // One line of the reply ("number message-id"); true when it is taken (a number in the
    // range, above the last one taken).
    bool line(const std::string& text);
    // The lowest existing number the current reply named; 0 when it named none.
    std::int64_t found() const { return found_; }
    // The next, doubled range after an empty reply; false when the group's last number was in
    // the range just asked.
    bool next();
    int queries() const { return queries_; }

private:
    std::int64_t first_ = 0, last_ = 0, groupLast_ = 0, window_ = FirstWindow;
    std::int64_t found_ = 0, taken_ = 0;
    int queries_ = 0;
};

} // namespace nimbra
