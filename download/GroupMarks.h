#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace nimbra {

// The per-group marks: for each server and group, the highest article number up to which every
// article has been scanned and either skipped or fetched and saved, so the next run scans only
// the numbers above it. One small file in the data folder, one line per server and group,
// written atomically. A file that cannot be read as a whole (a bad line, a number out of range,
// far too large) is set aside as "<file>.damaged" with a log line and no mark is trusted: the
// groups are scanned from their first article, which the message-id cache keeps cheap.
//
// Server and group names are kept as given; a name that holds blanks or control characters
// (which no server or group name does) gets no mark, so a line of the file is never broken.
// Used on one thread.
class GroupMarks {
public:
    explicit GroupMarks(std::string path);

    // "group-marks" in the data folder.
    static std::string defaultPath();
    // The key of a server: its host in lower case, ":" and the port text.
    static std::string serverKey(const std::string& host, const std::string& port);

    // 0 when the group has no mark.
    std::int64_t mark(const std::string& server, const std::string& group) const;
    // A number below 1 removes the mark.
    void setMark(const std::string& server, const std::string& group, std::int64_t number);
    // Forgets the group's mark ("Rescan from the start") and writes the file.
    void clear(const std::string& server, const std::string& group);

    // Writes the file when a mark changed since the last write; false when writing failed
    // (logged; the marks stay in memory and the next save tries again).
    bool save();
    // Whether the file found at construction was damaged (and set aside).
    bool damagedOnLoad() const { return damaged_; }
    std::size_t size() const { return marks_.size(); }

private:
    using Key = std::pair<std::string, std::string>;

    void load();
    bool parse(const std::string& bytes);
    static bool usableName(const std::string& name);

    std::string path_;
    std::map<Key, std::int64_t> marks_;
    bool changed_ = false;
    bool damaged_ = false;
};

} // namespace nimbra
