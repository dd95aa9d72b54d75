#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nimbra {

// Follows the lines of the article being fetched: captures the subject stem (the subject
// without "Subject: " and without its last 7 characters, where a part counter like "(1/2)"
// stands) to tell whether this article continues the previous one, and counts body lines.
class ArticleLineFollower {
public:
    enum LineKind { headerLine, separatorLine, bodyLine };

    // Called before each article is fetched.
    void startArticle() { InBody = false; }
    // Called when a run starts: the previous run's subject does not carry over.
    void startRun() { LastSubject.clear(); }

    // One line of the article, without its line end. A subject line in the header sets
    // sameSubject to whether its stem equals the previous article's.
    LineKind follow(const std::string& line, bool& sameSubject);

    // The body progress against the announced line count, rounded, followed by "%"; nothing
    // while the line count is unknown or 0. It may pass 100.
    std::optional<std::string> percentText(std::int32_t articleLines) const;

    // The stem of a subject line; shorter lines give a shorter (possibly empty) stem.
    static std::string subjectStem(const std::string& line);

    bool InBody = false;
    std::int32_t BodyLines = 0;
    std::string LastSubject;
};

} // namespace nimbra
