#pragma once

#include "download/Ledger.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace nimbra {

// The unfinished files posted over several articles without a byte range of their own
// (split uuencode, MIME message/partial), and the parts each has received, kept in one file
// in the program's data folder so a file begun in one run can be finished in a later one.
// The parts from 1 on that came without a gap are joined, in order, in one working file; a
// part that comes ahead of a gap waits in a working file of its own. Saving replaces the
// file atomically; loading a file that is damaged in any way yields no entries at all.
class SplitPartLedger : public Ledger {
public:
    struct Entry {
        std::string key;          // what the parts share (subject stem and poster, or the id)
        std::uint32_t total = 0;  // parts the file has
        std::int64_t created = 0; // when the first part came, in seconds since 1970
        std::string name;         // the file's name from its begin line; empty until known
        std::map<std::uint32_t, std::string> parts;  // part number -> working file path, past a gap
        std::string joined;            // working file holding parts 1 to joinedParts; empty before part 1
        std::uint32_t joinedParts = 0;
        std::uint64_t joinedBytes = 0; // its length; bytes past it are a part never recorded
        bool checked = false;          // not kept: joined was found sound in this run
    };

    // Unfinished files beyond this many are forgotten, the oldest first.
    static constexpr std::size_t MaxEntries = 500;
    static constexpr std::uint32_t MaxParts = 100000;

    explicit SplitPartLedger(std::string path);

    // Replaces the entries with the file's; false (and no entries) when it is missing or damaged.
    bool load();
    // false when the file could not be written; the entries stay as they are.
    bool save() const override;

    Entry* find(const std::string& key, std::uint32_t total);
    Entry& add(Entry entry);
    void remove(const Entry& entry);
    // Forgets the entries created before `before`, and the oldest past MaxEntries; returns
    // the working files of what it forgot.
    std::vector<std::string> expire(std::int64_t before);
    const std::vector<Entry>& entries() const { return entries_; }
    const std::string& path() const override { return path_; }

private:
    std::string path_;
    std::vector<Entry> entries_;  // oldest first
};

} // namespace nimbra
