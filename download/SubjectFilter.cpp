#include "download/SubjectFilter.h"

#include "platform/Log.h"

namespace nimbra {

void SubjectFilter::set(const std::string& matches, const std::string& excludes)
{
    matches_ = compiled(matches);
    excludes_ = compiled(excludes);
}

bool SubjectFilter::passes(const std::string& subject) const
{
    if (matches_.pattern().isEmpty() && excludes_.pattern().isEmpty())
        return true;
    const QString text = QString::fromUtf8(subject.data(), static_cast<qsizetype>(subject.size()));
    if (!matches_.pattern().isEmpty() && !matches_.match(text).hasMatch())
        return false;
    return excludes_.pattern().isEmpty() || !excludes_.match(text).hasMatch();
}

std::string SubjectFilter::problem(const std::string& text)
{
    const QRegularExpression expression(QString::fromStdString(text));
    if (text.empty() || expression.isValid())
        return {};
    return expression.errorString().toStdString() + " at position " + std::to_string(expression.patternErrorOffset());
}

QRegularExpression SubjectFilter::compiled(const std::string& text)
{
    if (text.empty())
        return {};
    QRegularExpression expression(QString::fromStdString(text));
    if (!expression.isValid()) {
        qCWarning(logSession, "subject filter \"%s\" is not a valid expression (%s); not used", text.c_str(),
                 qPrintable(expression.errorString()));
        return {};
    }
    expression.optimize();
    return expression;
}

} // namespace nimbra
