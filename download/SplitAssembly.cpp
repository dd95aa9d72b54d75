#include "download/SplitAssembly.h"

#include "download/LedgerWriter.h"
#include "platform/AppPaths.h"
#include "platform/FileStream.h"
#include "platform/Log.h"

#include <ctime>
#include <stdexcept>
#include <vector>

namespace nimbra {
namespace {

std::string writeFailure(const SaveTarget& target, const SplitPartLedger::Entry& entry)
{
    const std::string file = entry.name.empty() ? "a split file" : "\"" + entry.name + "\"";
    return "Cannot write a part of " + file + " in \"" + target.target() + "\"";
}

} // namespace

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

SplitPartLedger::Entry& SplitAssembly::entryFor(const std::string& key, std::uint32_t total)
{
    if (SplitPartLedger::Entry* entry = ledger_.find(key, total))
        return *entry;
    SplitPartLedger::Entry made;
    made.key = key;
    made.total = total;
    made.created = static_cast<std::int64_t>(std::time(nullptr));
    return ledger_.add(std::move(made));
}

std::optional<SplitAssembly::Whole> SplitAssembly::keep(const SaveTarget& target, const std::string& key,
                                                        std::uint32_t number, std::uint32_t total,
                                                        const std::string& name, std::string_view bytes)
{
    expire();
    if (number == 0 || number > total || total > SplitPartLedger::MaxParts)
        return std::nullopt;
    SplitPartLedger::Entry& entry = entryFor(key, total);
    checkJoined(target, entry);
    if (number <= entry.joinedParts)
        return std::nullopt;  // this part came before
    const auto held = entry.parts.find(number);
    if (held != entry.parts.end()) {
        if (target.ownsWorking(held->second))
            return std::nullopt;  // this part came before
        // Its file is gone, or an edited ledger points elsewhere: this one takes its place.
        entry.parts.erase(held);
    }
    try {
        if (number == entry.joinedParts + 1) {
            append(target, entry, bytes);
            joinWaiting(target, entry);
        } else {
            entry.parts.emplace(number, writePart(target, entry, bytes));
        }
    } catch (const std::exception&) {
        if (entry.joinedParts == 0 && entry.parts.empty())
            ledger_.remove(entry);
        LedgerWriter::record(writer_, ledger_);
        throw;
    }
    if (!name.empty())
        entry.name = name;
    LedgerWriter::record(writer_, ledger_);
    if (entry.joinedParts < entry.total)
        return std::nullopt;
    Whole whole{entry.joined, entry.name};
    ledger_.remove(entry);
    LedgerWriter::record(writer_, ledger_);
    return whole;
}

void SplitAssembly::checkJoined(const SaveTarget& target, SplitPartLedger::Entry& entry)
{
    if (entry.checked || entry.joinedParts == 0) {
        entry.checked = true;
        return;
    }
    entry.checked = true;
    bool sound = target.ownsWorking(entry.joined);
    if (sound) {
        try {
            FileStream file(entry.joined, FileStream::Mode::OpenReadWrite);
            sound = static_cast<std::uint64_t>(file.size()) >= entry.joinedBytes
                && file.truncate(static_cast<std::int64_t>(entry.joinedBytes)) && file.close();
        } catch (const std::exception&) {
            sound = false;
        }
    }
    if (sound)
        return;
    qCWarning(logSaving).noquote() << "the joined parts of" << QString::fromStdString(entry.name)
                                   << "are gone or short; they are waited for again";
    if (target.ownsWorking(entry.joined))
        SaveTarget::discard(entry.joined);
    entry.joined.clear();
    entry.joinedParts = 0;
    entry.joinedBytes = 0;
}

void SplitAssembly::append(const SaveTarget& target, SplitPartLedger::Entry& entry, std::string_view bytes)
{
    std::unique_ptr<FileStream> file;
    const bool fresh = entry.joined.empty();
    if (fresh) {
        file = target.createWorking();
    } else {
        try {
            file = std::make_unique<FileStream>(entry.joined, FileStream::Mode::OpenReadWrite);
        } catch (const std::exception&) {
            throw std::runtime_error(writeFailure(target, entry));
        }
    }
    const auto before = static_cast<std::int64_t>(entry.joinedBytes);
    const auto after = before + static_cast<std::int64_t>(bytes.size());
    file->seek(before);
    file->write(bytes.data(), bytes.size());
    // Cutting to the new length also writes what is buffered, and drops anything past it.
    if (!file->truncate(after) || !file->close()) {
        const std::string path = file->path();
        if (fresh) {
            file.reset();
            SaveTarget::discard(path);
        } else {
            file->truncate(before);
        }
        throw std::runtime_error(writeFailure(target, entry));
    }
    if (fresh)
        entry.joined = file->path();
    ++entry.joinedParts;
    entry.joinedBytes = static_cast<std::uint64_t>(after);
}

void SplitAssembly::joinWaiting(const SaveTarget& target, SplitPartLedger::Entry& entry)
{
    for (auto next = entry.parts.find(entry.joinedParts + 1); next != entry.parts.end();
         next = entry.parts.find(entry.joinedParts + 1)) {
        const std::string path = next->second;
        bool read = false;
        if (target.ownsWorking(path)) {
            try {
                FileStream in(path, FileStream::Mode::OpenRead);
                waiting_.resize(static_cast<std::size_t>(in.size()));
                std::size_t done = 0;
                while (done < waiting_.size()) {
                    const std::size_t n = in.read(waiting_.data() + done, waiting_.size() - done);
                    if (n == 0)
                        break;
                    done += n;
                }
                read = done == waiting_.size();
            } catch (const std::exception&) {
                read = false;
            }
        }
        if (!read) {
            entry.parts.erase(next);
            qCWarning(logSaving) << "part" << entry.joinedParts + 1 << "of" << QString::fromStdString(entry.name)
                                 << "cannot be read; it is waited for again";
            break;
        }
        append(target, entry, waiting_);  // on failure the part stays waiting in its own file
        entry.parts.erase(next);
        SaveTarget::discard(path);
    }
    waiting_.clear();
}

std::string SplitAssembly::writePart(const SaveTarget& target, const SplitPartLedger::Entry& entry,
                                     std::string_view bytes)
{
    std::unique_ptr<FileStream> part = target.createWorking();
    const std::string path = part->path();
    part->write(bytes.data(), bytes.size());
    if (!part->close()) {
        part.reset();
        SaveTarget::discard(path);
        throw std::runtime_error(writeFailure(target, entry));
    }
    return path;
}

} // namespace nimbra
