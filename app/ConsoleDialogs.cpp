#include "app/ConsoleDialogs.h"

#include "platform/Log.h"

#include <cstdio>

namespace nimbra {

bool ConsoleDialogs::ask(const std::string& text)
{
    // Answered here, so nothing for the person reading the output; the log keeps it.
    qCInfo(logApp, "answered Yes: %s", text.c_str());
    return true;
}

void ConsoleDialogs::inform(const std::string& text)
{
    qCWarning(logApp, "told: %s", text.c_str());
    std::fprintf(stderr, "nimbra: %s\n", text.c_str());
    if (outcome_)
        outcome_->fail(text, true);
}

bool ConsoleDialogs::chooseFolder(const std::string&, const std::string&, std::string&)
{
    return false;
}

} // namespace nimbra
