#include "net/NntpCapabilities.h"

#include <cctype>

namespace nimbra {
namespace {

bool sameWord(std::string_view word, std::string_view upper)
{
    if (word.size() != upper.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(word[i])) != upper[i])
            return false;
    return true;
}

// The next word of text after pos (blanks are space and tab); empty at the end.
std::string_view nextWord(std::string_view text, std::size_t& pos)
{
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t')
        ++pos;
    return text.substr(start, pos - start);
}

} // namespace

void NntpCapabilities::reset()
{
    *this = NntpCapabilities();
}

void NntpCapabilities::addLine(std::string_view line)
{
    std::size_t pos = 0;
    const std::string_view label = nextWord(line, pos);
    if (sameWord(label, "OVER")) {
        over_ = true;
    } else if (sameWord(label, "HDR")) {
        hdr_ = true;
    } else if (sameWord(label, "READER")) {
        reader_ = true;
    } else if (sameWord(label, "MODE-READER")) {
        modeReader_ = true;
    } else if (sameWord(label, "COMPRESS")) {
        for (std::string_view word = nextWord(line, pos); !word.empty(); word = nextWord(line, pos))
            compressDeflate_ = compressDeflate_ || sameWord(word, "DEFLATE");
    }
}

} // namespace nimbra
