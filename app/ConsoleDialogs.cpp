#include "app/ConsoleDialogs.h"

#include <cstdio>

namespace nimbra {

bool ConsoleDialogs::ask(const std::string& text)
{
    std::fprintf(stderr, "nimbra: %s Yes\n", text.c_str());
    return true;
}

void ConsoleDialogs::inform(const std::string& text)
{
    std::fprintf(stderr, "nimbra: %s\n", text.c_str());
}

bool ConsoleDialogs::chooseFolder(const std::string&, const std::string&, std::string&)
{
    return false;
}

} // namespace nimbra
