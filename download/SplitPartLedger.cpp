#include "download/SplitPartLedger.h"

#include "download/LedgerText.h"

#include <algorithm>

namespace nimbra {
namespace {

constexpr const char* Signature = "nimbra split parts 1";

bool smallNumber(const std::string& text, std::uint32_t limit, std::uint32_t& value)
{
    std::uint64_t n = 0;
    if (!LedgerText::number(text, n) || n == 0 || n > limit)
        return false;
    value = static_cast<std::uint32_t>(n);
    return true;
}

bool absolutePath(const std::string& text, std::string& path)
{
    return LedgerText::unescape(text, path) && !path.empty() && path[0] == '/';
}

} // namespace

SplitPartLedger::SplitPartLedger(std::string path) : path_(std::move(path)) {}

bool SplitPartLedger::load()
{
    entries_.clear();
    std::vector<Entry> loaded;
    const bool read = LedgerText::read(path_, Signature, [&](const std::vector<std::string>& w) {
        if (w.size() == 5 && w[0] == "file") {
            Entry entry;
            std::uint64_t created = 0;
            const bool ok = smallNumber(w[1], MaxParts, entry.total) && LedgerText::number(w[2], created)
                && LedgerText::unescape(w[3], entry.key) && LedgerText::unescape(w[4], entry.name);
            entry.created = static_cast<std::int64_t>(created);
            loaded.push_back(std::move(entry));
            return ok;
        }
        if (w.size() == 3 && w[0] == "part" && !loaded.empty()) {
            std::uint32_t number = 0;
            std::string path;
            return smallNumber(w[1], loaded.back().total, number) && number > loaded.back().joinedParts
                && absolutePath(w[2], path) && loaded.back().parts.emplace(number, path).second;
        }
        if (w.size() == 4 && w[0] == "joined" && !loaded.empty() && loaded.back().joined.empty()) {
            Entry& entry = loaded.back();
            std::uint64_t bytes = 0;
            const bool ok = smallNumber(w[1], entry.total, entry.joinedParts) && LedgerText::number(w[2], bytes)
                && absolutePath(w[3], entry.joined);
            entry.joinedBytes = bytes;
            // A part cannot be both joined and waiting on its own.
            return ok && (entry.parts.empty() || entry.parts.begin()->first > entry.joinedParts);
        }
        return false;
    });
    if (!read)
        return false;
    entries_ = std::move(loaded);
    return true;
}

bool SplitPartLedger::save() const
{
    std::string out;
    for (const Entry& entry : entries_) {
        out += "file " + std::to_string(entry.total) + " " + std::to_string(std::max<std::int64_t>(entry.created, 0))
            + " " + LedgerText::escape(entry.key) + " " + LedgerText::escape(entry.name) + "\n";
        if (entry.joinedParts > 0)
            out += "joined " + std::to_string(entry.joinedParts) + " " + std::to_string(entry.joinedBytes) + " "
                + LedgerText::escape(entry.joined) + "\n";
        for (const auto& [number, path] : entry.parts)
            out += "part " + std::to_string(number) + " " + LedgerText::escape(path) + "\n";
    }
    return LedgerText::write(path_, Signature, out);
}

SplitPartLedger::Entry* SplitPartLedger::find(const std::string& key, std::uint32_t total)
{
    for (Entry& entry : entries_) {
        if (entry.key == key && entry.total == total)
            return &entry;
    }
    return nullptr;
}

SplitPartLedger::Entry& SplitPartLedger::add(Entry entry)
{
    entries_.push_back(std::move(entry));
    return entries_.back();
}

void SplitPartLedger::remove(const Entry& entry)
{
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return &e == &entry; }),
                   entries_.end());
}

std::vector<std::string> SplitPartLedger::expire(std::int64_t before)
{
    std::vector<std::string> dropped;
    const std::size_t excess = entries_.size() > MaxEntries ? entries_.size() - MaxEntries : 0;
    std::size_t index = 0;
    auto gone = [&](const Entry& entry) {
        const bool drop = index++ < excess || entry.created < before;
        if (drop) {
            if (!entry.joined.empty())
                dropped.push_back(entry.joined);
            for (const auto& part : entry.parts)
                dropped.push_back(part.second);
        }
        return drop;
    };
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), gone), entries_.end());
    return dropped;
}

} // namespace nimbra
