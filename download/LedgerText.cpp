#include "download/LedgerText.h"

#include "platform/AtomicFile.h"

#include <cstdio>
#include <sstream>

namespace nimbra {
namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string LedgerText::escape(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c <= 0x20 || c == '%' || c >= 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out.empty() ? "%" : out;  // a lone "%" stands for the empty text
}

bool LedgerText::unescape(const std::string& text, std::string& out)
{
    out.clear();
    if (text == "%")
        return true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int hi = hexDigit(text[i + 1]);
        const int lo = hexDigit(text[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool LedgerText::number(const std::string& text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return true;
}

bool LedgerText::optionalNumber(const std::string& text, std::optional<std::uint64_t>& value)
{
    if (text == "-") {
        value.reset();
        return true;
    }
    std::uint64_t n;
    if (!number(text, n))
        return false;
    value = n;
    return true;
}

std::vector<std::string> LedgerText::words(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string word;
    while (in >> word)
        out.push_back(word);
    return out;
}

bool LedgerText::read(const std::string& path, const std::string& signature,
                      const std::function<bool(const std::vector<std::string>&)>& record)
{
    std::string bytes;
    if (!AtomicFile::read(path, bytes))
        return false;
    std::istringstream in(bytes);
    std::string line;
    if (!std::getline(in, line) || line != signature)
        return false;
    bool ended = false;
    while (std::getline(in, line)) {
        const std::vector<std::string> w = words(line);
        if (ended)
            return false;  // nothing may follow the end
        if (w.size() == 1 && w[0] == "end")
            ended = true;
        else if (!record(w))
            return false;
    }
    return ended;
}

bool LedgerText::write(const std::string& path, const std::string& signature, const std::string& body)
{
    return AtomicFile::write(path, signature + "\n" + body + "end\n");
}

} // namespace nimbra
