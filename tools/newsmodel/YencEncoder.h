#pragma once

// A yEnc encoder, written apart from the program's decoder so that round trips check one
// against the other. Header-only; shared by the decoder and saving tests and the demo news
// server.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace nimbra::test {

// Bit by bit, from the definition, so it shares nothing with the program's sliced tables.
inline std::uint32_t referenceCrc32(const std::string& data)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        c ^= byte;
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

inline std::string hex8(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

struct YencEncoding {
    std::size_t lineLength = 128;
    // Blanks at a line's ends and "." at its start are left bare, as lenient posters do.
    bool bareEdges = false;
    // A pair "=" + character may be split over a line end.
    bool splitEscapes = false;
    // Escape this share of ordinary characters too (a decoder must take any escape).
    double extraEscapes = 0.0;
    unsigned seed = 1;
};

// Data lines only, without line ends.
inline std::vector<std::string> yencLines(const std::string& data, const YencEncoding& how = {})
{
    std::mt19937 random(how.seed);
    std::uniform_real_distribution<double> share(0.0, 1.0);
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned char out = static_cast<unsigned char>(static_cast<unsigned char>(data[i]) + 42);
        const bool last = i + 1 == data.size() || line.size() + 1 >= how.lineLength;
        bool escape = out == 0 || out == '\n' || out == '\r' || out == '=';
        if (!how.bareEdges) {
            escape = escape || ((line.empty() || last) && (out == '\t' || out == ' '));
            escape = escape || (line.empty() && out == '.');
        }
        // A needless escape is only possible where the escaped form is not itself critical.
        const unsigned char shifted = static_cast<unsigned char>(out + 64);
        const bool escapable = shifted != 0 && shifted != '\n' && shifted != '\r' && shifted != '=';
        escape = escape || (escapable && how.extraEscapes > 0 && share(random) < how.extraEscapes);
        if (escape) {
            line += '=';
            if (how.splitEscapes && line.size() >= how.lineLength) {
                lines.push_back(line);
                line.clear();
            }
            line += static_cast<char>(static_cast<unsigned char>(out + 64));
        } else {
            line += static_cast<char>(out);
        }
        if (line.size() >= how.lineLength) {
            lines.push_back(line);
            line.clear();
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// A whole single-part body: "=ybegin", data lines, "=yend" with size and crc32.
inline std::vector<std::string> yencSingle(const std::string& name, const std::string& data,
                                           const YencEncoding& how = {})
{
    std::vector<std::string> lines{"=ybegin line=" + std::to_string(how.lineLength) + " size="
                                   + std::to_string(data.size()) + " name=" + name};
    for (std::string& line : yencLines(data, how))
        lines.push_back(std::move(line));
    lines.push_back("=yend size=" + std::to_string(data.size()) + " crc32=" + hex8(referenceCrc32(data)));
    return lines;
}

// Part number of total, holding bytes [begin, end) of file: "=ybegin", "=ypart", data,
// "=yend" with pcrc32 and the whole file's crc32 (fileCrc when the caller has it already: it
// costs a second per hundred MB).
inline std::vector<std::string> yencPart(const std::string& name, const std::string& file, int number, int total,
                                         std::size_t begin, std::size_t end, const YencEncoding& how = {},
                                         std::optional<std::uint32_t> fileCrc = std::nullopt)
{
    const std::string piece = file.substr(begin, end - begin);
    std::vector<std::string> lines{
        "=ybegin part=" + std::to_string(number) + " total=" + std::to_string(total) + " line="
            + std::to_string(how.lineLength) + " size=" + std::to_string(file.size()) + " name=" + name,
        "=ypart begin=" + std::to_string(begin + 1) + " end=" + std::to_string(end)};
    for (std::string& line : yencLines(piece, how))
        lines.push_back(std::move(line));
    lines.push_back("=yend size=" + std::to_string(piece.size()) + " part=" + std::to_string(number) + " pcrc32="
                    + hex8(referenceCrc32(piece)) + " crc32=" + hex8(fileCrc ? *fileCrc : referenceCrc32(file)));
    return lines;
}

// Every byte value, then random bytes.
inline std::string yencPayload(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>(i < 256 ? i : random() & 0xFF);
    return data;
}

} // namespace nimbra::test
