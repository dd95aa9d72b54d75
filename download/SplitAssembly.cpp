#include "download/SplitAssembly.h"

#include "download/LedgerWriter.h"
#include "platform/AppPaths.h"
#include "platform/FileStream.h"

#include <ctime>
#include <stdexcept>
#include <vector>

namespace nimbra {

SplitAssembly::SplitAssembly(std::string ledgerPath, std::int64_t maxAgeSeconds, LedgerWriter* writer)
    : ledger_(std::move(ledgerPath)), maxAge_(maxAgeSeconds), writer_(writer)
{
    ledger_.load();
    expire();
}

SplitAssembly::~SplitAssembly()
{
    LedgerWriter::release(writer_, ledger_);
}

std::string SplitAssembly::defaultLedgerPath()
{
    return AppPaths::dataFolder() + "split-parts";
}

void SplitAssembly::expire()
{
    const std::vector<std::string> dropped = ledger_.expire(static_cast<std::int64_t>(std::time(nullptr)) - maxAge_);
    for (const std::string& path : dropped)
        SaveTarget::discard(path);
    if (!dropped.empty())
        LedgerWriter::record(writer_, ledger_);
}

std::optional<SplitAssembly::Whole> SplitAssembly::keep(const SaveTarget& target, const std::string& key,
                                                        std::uint32_t number, std::uint32_t total,
                                                        const std::string& name, const std::string& partPath)
{
    expire();
    if (number == 0 || number > total || total > SplitPartLedger::MaxParts) {
        SaveTarget::discard(partPath);
        return std::nullopt;
    }
    SplitPartLedger::Entry* entry = ledger_.find(key, total);
    if (!entry) {
        SplitPartLedger::Entry made;
        made.key = key;
        made.total = total;
        made.created = static_cast<std::int64_t>(std::time(nullptr));
        entry = &ledger_.add(std::move(made));
    }
    const auto held = entry->parts.find(number);
    if (held == entry->parts.end()) {
        entry->parts.emplace(number, partPath);
    } else if (target.ownsWorking(held->second)) {
        SaveTarget::discard(partPath);  // this part came before
        return std::nullopt;
    } else {
        held->second = partPath;  // the file it had is gone: this one takes its place
    }
    if (!name.empty())
        entry->name = name;
    // Parts whose files are gone, or that an edited ledger points elsewhere, are waited for
    // again; looked at once, when the last part seems in.
    const bool complete = entry->parts.size() == entry->total && keepOwnParts(target, *entry);
    LedgerWriter::record(writer_, ledger_);  // should the join fail, every part is still on record
    if (!complete)
        return std::nullopt;
    Whole whole = join(target, *entry);
    for (const auto& part : entry->parts)
        SaveTarget::discard(part.second);
    ledger_.remove(*entry);
    LedgerWriter::record(writer_, ledger_);
    return whole;
}

bool SplitAssembly::keepOwnParts(const SaveTarget& target, SplitPartLedger::Entry& entry)
{
    const std::size_t before = entry.parts.size();
    for (auto it = entry.parts.begin(); it != entry.parts.end();) {
        if (target.ownsWorking(it->second))
            ++it;
        else
            it = entry.parts.erase(it);
    }
    return entry.parts.size() == before;
}

SplitAssembly::Whole SplitAssembly::join(const SaveTarget& target, const SplitPartLedger::Entry& entry)
{
    std::unique_ptr<FileStream> out = target.createWorking();
    const std::string path = out->path();
    std::vector<char> chunk(1 << 20);
    bool good = true;
    for (const auto& part : entry.parts) {
        try {
            FileStream in(part.second, FileStream::Mode::OpenRead);
            while (const std::size_t n = in.read(chunk.data(), chunk.size()))
                out->write(chunk.data(), n);
        } catch (const std::exception&) {
            good = false;
        }
    }
    if (!out->close() || !good) {
        SaveTarget::discard(path);
        throw std::runtime_error("Cannot join the parts of \"" + entry.name + "\" in \"" + target.target() + "\"");
    }
    return {path, entry.name};
}

} // namespace nimbra
