#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

namespace nimbra {

// The message-ids already handled, oldest first, with an index beside the ordered list so a
// lookup never scans it. Ids are kept exactly as the client gives them (no angle brackets).
// The list holds each id once: a loaded file's repeated lines are dropped.
class MessageIdCache {
public:
    bool contains(const std::string& id) const { return index_.count(id) != 0; }

    // The cache test: true when the id is known. A new id is entered at the end, after
    // dropping the oldest entry when the list already holds capacity entries or more.
    // An empty id (a reply that carried none) is reported new and not entered.
    bool testAndEnter(const std::string& id, long capacity);

    // Cuts the list from the front down to capacity entries.
    void trim(long capacity);

    // Removes one id, wherever it stands (an article whose handling was interrupted).
    void forget(const std::string& id);

    std::size_t size() const { return order_.size(); }
    std::vector<std::string> entries() const { return {order_.begin(), order_.end()}; }

    // Replaces the contents with these ids, oldest first (repeated and empty ones dropped).
    void assign(std::vector<std::string> ids);

    // The "mesagid" file: one id a line. Loading replaces the contents; a missing file gives
    // an empty cache and false.
    bool load(const std::string& path);
    bool save(const std::string& path) const;

private:
    void dropOldest();

    std::deque<std::string> order_;
    std::unordered_set<std::string> index_;
};

} // namespace nimbra
