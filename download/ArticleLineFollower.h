#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nimbra {

// Follows the lines of the article being fetched: tells header from body and counts body
// lines for the progress panel.
class ArticleLineFollower {
public:
    enum LineKind { headerLine, separatorLine, bodyLine };

    // Called before each article is fetched.
    void startArticle() { InBody = false; }

    // One line of the article, without its line end.
    LineKind follow(const std::string& line);

    // The body progress against the announced line count, rounded, followed by "%"; nothing
    // while the line count is unknown or 0. It may pass 100.
    std::optional<std::string> percentText(std::int32_t articleLines) const;
    // The same figure as a number.
    std::optional<std::int64_t> percent(std::int32_t articleLines) const;

    bool InBody = false;
    std::int32_t BodyLines = 0;
};

} // namespace nimbra
