#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nimbra {

// The text form shared by the program's ledger files: one record per line, words apart by
// blanks, names and paths escaped so that any byte fits in one word.
class LedgerText {
public:
    // Blanks, controls, "%" and bytes above 126 as %XX; a lone "%" stands for the empty text.
    static std::string escape(const std::string& text);
    static bool unescape(const std::string& text, std::string& out);
    // A decimal number of at most 19 digits.
    static bool number(const std::string& text, std::uint64_t& value);
    // A number, or "-" for none.
    static bool optionalNumber(const std::string& text, std::optional<std::uint64_t>& value);
    static std::vector<std::string> words(const std::string& line);

    // Reads the ledger file at path: its first line must be signature and its last "end";
    // each line between is split into words and handed to record, which tells whether it is
    // sound. False when the file is missing or anything in it is not sound.
    static bool read(const std::string& path, const std::string& signature,
                     const std::function<bool(const std::vector<std::string>&)>& record);
    // Replaces the file at path atomically with signature, body and "end".
    static bool write(const std::string& path, const std::string& signature, const std::string& body);
};

} // namespace nimbra
