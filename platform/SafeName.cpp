#include "platform/SafeName.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace nimbra {
namespace {

bool plainByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
        || c == '_' || c == '+' || c == '-' || c == '@' || c == ':';
}

std::uint32_t fnv1a(const std::string& text)
{
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

constexpr std::size_t MaxPlainLength = 200;
// A file name may have 255 bytes; this leaves room for the leading "1"s that keep names unique.
constexpr std::size_t MaxAttachmentLength = 200;
constexpr std::size_t MaxExtensionLength = 16;

// Shortens a long name to MaxAttachmentLength bytes, keeping a short extension and never
// cutting a UTF-8 sequence in two.
std::string shortened(const std::string& name)
{
    if (name.size() <= MaxAttachmentLength)
        return name;
    const std::size_t dot = name.rfind('.');
    const std::string extension =
        dot != std::string::npos && dot > 0 && name.size() - dot <= MaxExtensionLength ? name.substr(dot) : std::string();
    std::size_t cut = MaxAttachmentLength - extension.size();
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut) + extension;
}

} // namespace

std::string SafeName::mapped(const std::string& text, const std::vector<std::string>& reserved)
{
    const bool plain = !text.empty() && text.size() <= MaxPlainLength && text[0] != '.'
        && std::all_of(text.begin(), text.end(), [](char c) { return plainByte(static_cast<unsigned char>(c)); })
        && std::find(reserved.begin(), reserved.end(), text) == reserved.end();
    if (plain)
        return text;
    std::string stem;
    for (unsigned char c : text) {
        if (stem.size() >= 100)
            break;
        stem += plainByte(c) ? static_cast<char>(c) : '_';
    }
    while (!stem.empty() && stem[0] == '.')
        stem.erase(0, 1);
    char hash[16];
    std::snprintf(hash, sizeof hash, "~%08x", fnv1a(text));
    return stem + hash;
}

std::string SafeName::attachment(const std::string& name)
{
    const std::size_t cut = name.find_last_of("/\\");
    const std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    std::string out;
    out.reserve(base.size());
    for (unsigned char c : base) {
        if (c < 0x20 || c == 0x7f)
            continue;
        out += static_cast<char>(c);
    }
    if (out == "." || out == "..")
        return {};
    return shortened(out);
}

std::string SafeName::lowerCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

} // namespace nimbra
