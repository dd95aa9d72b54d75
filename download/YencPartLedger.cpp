#include "download/YencPartLedger.h"

#include "download/LedgerText.h"

#include <algorithm>
#include <cstdio>

namespace nimbra {
namespace {

constexpr const char* Signature = "nimbra yenc parts 1";

bool crcText(const std::string& text, std::optional<std::uint32_t>& value)
{
    if (text == "-") {
        value.reset();
        return true;
    }
    if (text.size() != 8 || text.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    value = static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
    return true;
}

std::string crcText(std::optional<std::uint32_t> value)
{
    if (!value)
        return "-";
    char hex[12];
    std::snprintf(hex, sizeof hex, "%08x", *value);
    return hex;
}

// Ranges inside the file, in order, and apart from each other.
bool sound(const YencPartLedger::Entry& entry)
{
    if (entry.size == 0 || entry.size > YencPartLedger::MaxFileSize || entry.path.empty() || entry.path[0] != '/')
        return false;
    std::vector<YencPartLedger::Part> parts = entry.parts;
    std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.begin < b.begin; });
    std::uint64_t reached = 0;
    for (const auto& part : parts) {
        if (part.begin >= part.end || part.end > entry.size || part.begin < reached)
            return false;
        reached = part.end;
    }
    return true;
}

} // namespace

std::uint64_t YencPartLedger::Entry::received() const
{
    std::uint64_t sum = 0;
    for (const Part& part : parts)
        sum += part.end - part.begin;
    return sum;
}

YencPartLedger::YencPartLedger(std::string path) : path_(std::move(path)) {}

bool YencPartLedger::load()
{
    entries_.clear();
    std::vector<Entry> loaded;
    const bool read = LedgerText::read(path_, Signature, [&](const std::vector<std::string>& w) {
        if (w.size() == 6 && w[0] == "file") {
            Entry entry;
            std::optional<std::uint64_t> total;
            const bool ok = LedgerText::number(w[1], entry.size) && LedgerText::optionalNumber(w[2], total)
                && crcText(w[3], entry.crc32) && LedgerText::unescape(w[4], entry.name)
                && LedgerText::unescape(w[5], entry.path);
            entry.total = total.value_or(0);
            loaded.push_back(std::move(entry));
            return ok;
        }
        if (w.size() == 5 && w[0] == "part" && !loaded.empty()) {
            Part part;
            std::optional<std::uint32_t> crc;
            const bool ok = LedgerText::optionalNumber(w[1], part.number) && LedgerText::number(w[2], part.begin)
                && LedgerText::number(w[3], part.end) && crcText(w[4], crc) && crc.has_value();
            part.crc = crc.value_or(0);
            loaded.back().parts.push_back(part);
            return ok;
        }
        return false;
    });
    if (!read || !std::all_of(loaded.begin(), loaded.end(), sound))
        return false;
    entries_ = std::move(loaded);
    return true;
}

bool YencPartLedger::save() const
{
    std::string out;
    for (const Entry& entry : entries_) {
        out += "file " + std::to_string(entry.size) + " " + (entry.total ? std::to_string(entry.total) : "-") + " "
            + crcText(entry.crc32) + " " + LedgerText::escape(entry.name) + " " + LedgerText::escape(entry.path) + "\n";
        for (const Part& part : entry.parts) {
            out += "part " + (part.number ? std::to_string(*part.number) : "-") + " " + std::to_string(part.begin) + " "
                + std::to_string(part.end) + " " + crcText(std::optional<std::uint32_t>(part.crc)) + "\n";
        }
    }
    return LedgerText::write(path_, Signature, out);
}

YencPartLedger::Entry* YencPartLedger::find(const std::string& name, std::uint64_t size, std::uint64_t total)
{
    for (Entry& entry : entries_) {
        if (entry.name == name && entry.size == size && entry.total == total)
            return &entry;
    }
    return nullptr;
}

YencPartLedger::Entry& YencPartLedger::add(Entry entry)
{
    entries_.push_back(std::move(entry));
    if (entries_.size() > MaxEntries)
        entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(entries_.size() - MaxEntries));
    return entries_.back();
}

YencPartLedger::Entry& YencPartLedger::touch(Entry& entry)
{
    Entry moved = std::move(entry);
    remove(entry);
    entries_.push_back(std::move(moved));
    return entries_.back();
}

void YencPartLedger::remove(const Entry& entry)
{
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return &e == &entry; }),
                   entries_.end());
}

} // namespace nimbra
