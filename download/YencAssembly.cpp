#include "download/YencAssembly.h"

#include "download/ContentCheck.h"
#include "download/LedgerWriter.h"
#include "mime/Crc32.h"
#include "platform/AppPaths.h"
#include "platform/FileStream.h"
#include "platform/Log.h"

#include <algorithm>
#include <exception>
#include <vector>
#include <zlib.h>

namespace nimbra {
namespace {

using Entry = YencPartLedger::Entry;

bool overlaps(const YencPartLedger::Part& part, std::uint64_t begin, std::uint64_t end)
{
    return part.begin < end && begin < part.end;
}

// The CRC-32 of the length bytes at offset in file; none when they cannot all be read.
std::optional<std::uint32_t> rangeCrc(FileStream& file, std::uint64_t offset, std::uint64_t length)
{
    std::vector<char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1 << 20)));
    std::uint32_t crc = 0;
    file.seek(static_cast<std::int64_t>(offset));
    for (std::uint64_t done = 0; done < length;) {
        const std::size_t n = file.read(chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), length - done)));
        if (n == 0)
            return std::nullopt;
        crc = Crc32::update(crc, chunk.data(), n);
        done += n;
    }
    return crc;
}

// The CRC-32 of the whole file from its parts, which cover it without gaps: a part written by
// this process counts with the crc of the bytes it wrote; one from an earlier run is read back
// and must still have its recorded crc, or the disk lost it (none is returned then).
std::optional<std::uint32_t> fileCrc(const Entry& entry)
{
    std::vector<YencPartLedger::Part> parts = entry.parts;
    std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.begin < b.begin; });
    try {
        FileStream file(entry.path, FileStream::Mode::OpenRead);
        if (static_cast<std::uint64_t>(file.size()) != entry.size)
            return std::nullopt;
        std::uint32_t crc = 0;
        std::uint64_t reached = 0;
        for (const YencPartLedger::Part& part : parts) {
            if (part.begin != reached)
                return std::nullopt;
            if (!part.writtenNow && rangeCrc(file, part.begin, part.end - part.begin) != part.crc)
                return std::nullopt;
            crc = static_cast<std::uint32_t>(crc32_combine64(crc, part.crc, static_cast<z_off64_t>(part.end - part.begin)));
            reached = part.end;
        }
        return reached == entry.size ? std::optional<std::uint32_t>(crc) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

YencAssembly::YencAssembly(std::string ledgerPath, LedgerWriter* writer)
    : ledger_(std::move(ledgerPath)), writer_(writer)
{
    ledger_.load();
}

YencAssembly::~YencAssembly()
{
    LedgerWriter::release(writer_, ledger_);
}

std::string YencAssembly::defaultLedgerPath()
{
    return AppPaths::dataFolder() + "yenc-parts";
}

void YencAssembly::begin(const YencStart& start, const SaveTarget& target)
{
    abandon();
    open_ = true;
    overflow_ = start.length > YencPartLedger::MaxFileSize;
    target_ = target;
    limit_ = overflow_ ? 0 : start.length;
    if (start.single && !overflow_) {
        beginSingle();
        return;
    }
    // The buffer is kept from part to part. The announced length is the poster's word, so
    // beyond the size of a large article memory follows the bytes that really come.
    bytes_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(limit_, ReserveLimit)));
}

void YencAssembly::beginSingle()
{
    try {
        single_ = target_.createWorking();
        if (check_ && check_->enabled())
            singleHasher_.emplace();
    } catch (const std::exception& e) {
        singleFailed_ = true;  // reported when the part ends whole
        qCWarning(logSaving).noquote() << "cannot make a working file:" << e.what();
    }
}

void YencAssembly::data(const char* bytes, std::size_t length, std::uint64_t offset)
{
    (void)offset;  // runs arrive in order; their place follows from the part's offset
    if (!open_ || overflow_)
        return;
    // More than the part announced would spill into its neighbours' bytes.
    if (received_ + length > limit_) {
        overflow_ = true;
        bytes_.clear();
        return;
    }
    received_ += length;
    if (single_) {
        single_->write(bytes, length);
        if (singleHasher_)
            singleHasher_->update(bytes, length);
    }
    else if (!singleFailed_)
        bytes_.append(bytes, length);
}

void YencAssembly::abandon()
{
    open_ = false;
    received_ = 0;
    singleFailed_ = false;
    singleHasher_.reset();
    bytes_.clear();
    if (single_) {
        const std::string path = single_->path();
        single_.reset();
        SaveTarget::discard(path);
    }
}

YencAssembly::Report YencAssembly::end(const YencStart& start, const YencResult& result)
{
    const bool fit = open_ && !overflow_ && result.good() && start.consistent && received_ == start.length
        && start.header.size <= YencPartLedger::MaxFileSize;
    Report r = fit ? (start.single ? saveSingle(start) : savePart(start, result)) : Report{};
    abandon();
    return r;
}

YencAssembly::Report YencAssembly::report(Outcome outcome, const std::string& path, std::uint64_t size)
{
    Report r;
    r.outcome = outcome;
    r.size = size;
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        r.folder = path.substr(0, slash + 1);
        r.name = path.substr(slash + 1);
    }
    return r;
}

std::string YencAssembly::createFile() const
{
    try {
        std::unique_ptr<FileStream> file = target_.createWorking();
        const std::string path = file->path();
        if (file->close())
            return path;
        SaveTarget::discard(path);
    } catch (const std::exception&) {
        // No folder to make the file in: the part is reported failed.
    }
    return {};
}

YencAssembly::Report YencAssembly::saveSingle(const YencStart& start)
{
    if (!single_)
        return report(Outcome::Failed, {}, 0);
    const std::string path = single_->path();
    const bool written = single_->close();
    single_.reset();
    if (!written) {
        SaveTarget::discard(path);
        return report(Outcome::Failed, path, 0);
    }
    std::optional<ContentDigest> digest;
    if (singleHasher_)
        digest = singleHasher_->finish();
    return publish(Outcome::Completed, path, start.header.name, received_, digest);
}

bool YencAssembly::beyondParts(const YencStart& start) const
{
    // size > total * limit and end > part * limit, without the products.
    const YencBegin& h = start.header;
    if (partLimit_ == 0)
        return false;
    const std::uint64_t end = start.offset + start.length;
    return (h.total && h.size > 0 && (h.size - 1) / partLimit_ >= *h.total)
        || (h.part && end > 0 && (end - 1) / partLimit_ >= *h.part);
}

YencAssembly::Report YencAssembly::savePart(const YencStart& start, const YencResult& result)
{
    const YencBegin& h = start.header;
    if (beyondParts(start)) {
        qCWarning(logSaving, "yEnc part %llu of \"%s\" (%llu bytes, %llu parts) refused: more than parts of %llu bytes hold",
                  static_cast<unsigned long long>(h.part.value_or(0)), h.name.c_str(),
                  static_cast<unsigned long long>(h.size), static_cast<unsigned long long>(h.total.value_or(0)),
                  static_cast<unsigned long long>(partLimit_));
        return report(Outcome::Refused, {}, h.size);
    }
    const std::uint64_t begin = start.offset;
    const std::uint64_t end = start.offset + start.length;
    Entry* entry = ledger_.find(h.name, h.size, h.total.value_or(0));
    if (entry && !working_.holds(entry->path)) {
        working_.close();  // another file, or this one is no longer the file at its path
        if (!target_.ownsWorking(entry->path)) {
            // The half-made file is gone, or the entry names something that is not ours:
            // begin again, writing only to a file made now.
            ledger_.remove(*entry);
            entry = nullptr;
        }
    }
    bool fresh = false;
    if (entry) {
        for (const YencPartLedger::Part& part : entry->parts) {
            if (part.begin == begin && part.end == end)
                return report(Outcome::Duplicate, entry->path, h.size);
            if (overlaps(part, begin, end))
                return report(Outcome::Refused, entry->path, h.size);
        }
    } else {
        Entry made;
        made.name = h.name;
        made.size = h.size;
        made.total = h.total.value_or(0);
        made.path = createFile();
        if (made.path.empty())
            return report(Outcome::Failed, made.path, h.size);
        // The ledger forgets its oldest entry when full: its working file goes with it.
        if (ledger_.entries().size() >= YencPartLedger::MaxEntries) {
            if (working_.holds(ledger_.entries().front().path))
                working_.close();
            SaveTarget::discard(ledger_.entries().front().path);
        }
        entry = &ledger_.add(std::move(made));
        prefixes_.erase(entry->path);  // a digest begun for an earlier file of that name
        fresh = true;
    }
    if (!working_.write(entry->path, begin, bytes_.data(), bytes_.size())) {
        const Report failed = report(Outcome::Failed, entry->path, h.size);
        if (fresh) {
            SaveTarget::discard(entry->path);
            ledger_.remove(*entry);
        }
        return failed;
    }
    if (!fresh)
        entry = &ledger_.touch(*entry);
    entry->parts.push_back({h.part, begin, end, result.crc, true});
    if (!entry->crc32 && result.end.crc32)
        entry->crc32 = result.end.crc32;
    hashPart(*entry, begin);
    if (entry->received() < entry->size) {
        LedgerWriter::record(writer_, ledger_);
        return report(Outcome::Stored, entry->path, h.size);
    }
    const Report finished = finishFile(*entry);
    ledger_.remove(*entry);
    LedgerWriter::record(writer_, ledger_);
    return finished;
}

YencAssembly::Report YencAssembly::finishFile(const Entry& entry)
{
    // Every part went to the file as it came; a close that fails may still have lost some.
    if (!working_.close()) {
        SaveTarget::discard(entry.path);
        return report(Outcome::Failed, entry.path, entry.size);
    }
    const std::optional<std::uint32_t> crc = fileCrc(entry);
    const bool whole = crc && (!entry.crc32 || *entry.crc32 == *crc);
    std::optional<ContentDigest> digest;
    const auto prefix = prefixes_.find(entry.path);
    if (prefix != prefixes_.end()) {
        digest = prefix->second.digest(entry.size);
        prefixes_.erase(prefix);
    }
    return publish(whole ? Outcome::Completed : Outcome::Corrupt, entry.path, entry.name, entry.size, digest);
}

void YencAssembly::hashPart(const Entry& entry, std::uint64_t begin)
{
    if (!check_ || !check_->enabled())
        return;
    auto prefix = prefixes_.find(entry.path);
    if (prefix == prefixes_.end()) {
        if (begin != 0)
            return;  // its beginning is missing, or was written in an earlier run
        if (prefixes_.size() >= ledger_.entries().size())
            forgetPrefixes();
        prefix = prefixes_.emplace(entry.path, PrefixHasher{}).first;
    }
    prefix->second.written(entry.path, entry.parts, begin, bytes_.data(), bytes_.size());
}

void YencAssembly::forgetPrefixes()
{
    for (auto it = prefixes_.begin(); it != prefixes_.end();) {
        const bool held = std::any_of(ledger_.entries().begin(), ledger_.entries().end(),
                                      [&](const Entry& e) { return e.path == it->first; });
        it = held ? std::next(it) : prefixes_.erase(it);
    }
}

YencAssembly::Report YencAssembly::publish(Outcome outcome, const std::string& workingPath,
                                           const std::string& rawName, std::uint64_t size,
                                           const std::optional<ContentDigest>& digest) const
{
    try {
        // A corrupt file is named for the user to look at, never entered as known content.
        const std::optional<std::string> named = check_ && outcome == Outcome::Completed
                                                     ? check_->publish(target_, workingPath, rawName, digest)
                                                     : target_.publish(workingPath, rawName);
        if (!named)
            return report(Outcome::Known, {}, size);
        const std::string& name = *named;
        const std::size_t slash = workingPath.rfind('/');
        return report(outcome, workingPath.substr(0, slash + 1) + name, size);
    } catch (const std::exception&) {
        return report(Outcome::Failed, workingPath, size);
    }
}

} // namespace nimbra
