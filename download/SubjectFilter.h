#pragma once

#include <QRegularExpression>

#include <string>

namespace nimbra {

// The subject filters of the Options page: "Subject matches" and "Subject does not match",
// regular expressions searched anywhere in the subject. An empty text is no filter. An
// invalid expression is refused where it is typed (problem()); one that reaches a run anyway
// filters nothing, so no article is lost to a typing slip.
class SubjectFilter {
public:
    void set(const std::string& matches, const std::string& excludes);
    bool passes(const std::string& subject) const;

    // Empty when the text is a valid expression (or empty), else the reason.
    static std::string problem(const std::string& text);

private:
    static QRegularExpression compiled(const std::string& text);

    QRegularExpression matches_;
    QRegularExpression excludes_;
};

} // namespace nimbra
