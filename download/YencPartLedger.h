#pragma once

#include "download/Ledger.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimbra {

// The unfinished multi-part yEnc files and the parts each has received, kept in one file in
// the program's data folder so a file begun in one run can be finished in a later one.
// Saving replaces the file atomically; loading a file that is damaged in any way yields no
// entries at all rather than half-trusted ones.
class YencPartLedger : public Ledger {
public:
    struct Part {
        std::optional<std::uint64_t> number;
        std::uint64_t begin = 0;  // first byte, counted from 0
        std::uint64_t end = 0;    // one past the last byte
        std::uint32_t crc = 0;
        // Not kept in the file: the part was written by this process, so crc is that of the
        // bytes on disk without reading them back.
        bool writtenNow = false;
    };

    struct Entry {
        // The key: what the parts' "=ybegin" lines say, never the subject.
        std::string name;
        std::uint64_t size = 0;
        std::uint64_t total = 0;  // 0 when the lines give none
        std::optional<std::uint32_t> crc32;  // the whole file's, from the first part that gave it
        std::string path;                    // the file the parts are written into
        std::vector<Part> parts;

        std::uint64_t received() const;
    };

    // Unfinished files beyond this many are forgotten, the longest untouched first.
    static constexpr std::size_t MaxEntries = 500;
    // Files of 4 GiB and more are not taken.
    static constexpr std::uint64_t MaxFileSize = 0xFFFFFFFFull;

    explicit YencPartLedger(std::string path);

    // Replaces the entries with the file's; false (and no entries) when it is missing or damaged.
    bool load();
    // false when the file could not be written; the entries stay as they are.
    bool save() const override;

    Entry* find(const std::string& name, std::uint64_t size, std::uint64_t total);
    // Adds an entry as the most recently touched one.
    Entry& add(Entry entry);
    // Makes entry the most recently touched one; returns its new address.
    Entry& touch(Entry& entry);
    void remove(const Entry& entry);
    const std::vector<Entry>& entries() const { return entries_; }
    const std::string& path() const override { return path_; }

private:
    std::string path_;
    std::vector<Entry> entries_;  // oldest touched first
};

} // namespace nimbra
