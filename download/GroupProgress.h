#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nimbra {

class ArticleSink;
class GroupMarks;

// How far the walk of one group has got, for its mark. A walker calls begin() when it starts a
// group, done() for each article it has finished with (skipped, or fetched and saved) in
// article order, givenUp() for one it walks past unfinished, and finished() when the group is
// over. The mark moves only past articles that are done: after givenUp() it stays where it
// stood for the rest of the group, so the next run looks at that article again.
//
// Without a marks store every group is scanned from its first article and nothing is kept.
// The store and the sink are not owned and must outlive the progress.
class GroupProgress {
public:
    void setMarks(GroupMarks* marks) { marks_ = marks; }
    void setServer(std::string server) { server_ = std::move(server); }
    // Flushed before the marks are written (may be null).
    void setArticleSink(ArticleSink* sink) { sink_ = sink; }

    // The group's numbers from the group reply; returns the first number to scan, or nothing
    // when nothing new is there (the mark is at last, which may be 2^63-1). A mark above last
    // means the group was renumbered: the scan starts at first and the old mark is dropped.
    std::optional<std::int64_t> begin(const std::string& group, std::int64_t first, std::int64_t last);
    void done(std::int64_t number);
    void givenUp();
    // The group was scanned to its end: the mark takes the group's last number.
    void finished();
    // Flushes the sink, then writes the marks file when a mark moved (on leaving a group, an
    // interruption, the end).
    void save();

    bool active() const { return marks_ != nullptr && !group_.empty(); }
    std::int64_t mark() const { return mark_; }

private:
    void moveTo(std::int64_t number);

    GroupMarks* marks_ = nullptr;
    ArticleSink* sink_ = nullptr;
    std::string server_;
    std::string group_;
    std::int64_t last_ = 0;
    std::int64_t mark_ = 0;
    bool stuck_ = false;
};

} // namespace nimbra
