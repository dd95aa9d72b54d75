#include "download/ContentStore.h"

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/LargePages.h"
#include "platform/Log.h"
#include "platform/MappedFileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <utility>
#include <zlib.h>

#include <sys/stat.h>

namespace nimbra {
namespace {

constexpr char Magic[8] = {'N', 'I', 'M', 'B', 'R', 'A', 'C', 'S'};
// The pairs marked apart since the store was last written: magic, version, byte order, count,
// the pairs, and the checksum of all that.
constexpr char ApartMagic[8] = {'N', 'I', 'M', 'B', 'R', 'A', 'A', 'P'};
struct ApartHeader {
    char magic[8];
    std::uint32_t version;
    std::uint32_t byteOrder;
    std::uint64_t pairs;
};
static_assert(sizeof(ApartHeader) == 24);
constexpr std::uint32_t Version = 1;
constexpr std::uint32_t ByteOrder = 0x01020304;
// An empty container with room for count elements in fresh memory advised to be large pages,
// to be filled at once: a million files make some 200 MB of it.
template <typename Container>
Container roomInLargePages(std::size_t count)
{
    Container fresh;
    fresh.reserve(count);
    adviseLargePages(fresh.data(), count * sizeof(typename Container::value_type));
    return fresh;
}

template <typename Container>
Container copyInLargePages(const Container& from)
{
    Container copy = roomInLargePages<Container>(from.size());
    copy.assign(from.begin(), from.end());
    return copy;
}

// The texts are addressed with 32 bits.
constexpr std::size_t MaxText = std::size_t{1} << 31;

struct Header {
    char magic[8];
    std::uint32_t version;
    std::uint32_t byteOrder;
    std::uint64_t records;
    std::uint64_t textBytes;
    std::uint64_t apartPairs;
};
static_assert(sizeof(Header) == 40);

std::uint32_t checksum(const char* data, std::size_t length)
{
    uLong crc = crc32_z(0L, nullptr, 0);
    return static_cast<std::uint32_t>(crc32_z(crc, reinterpret_cast<const Bytef*>(data), length));
}

std::uint64_t slotKey(const ContentDigest& digest)
{
    std::uint64_t key = 0;
    std::memcpy(&key, digest.data(), sizeof key);
    return key;
}

} // namespace

ContentStore::ContentStore(std::string path) : path_(std::move(path))
{
    static_assert(sizeof(Record) == 72);
}

ContentStore::ContentStore(const ContentStore& other)
    : path_(other.path_),
      setAside_(other.setAside_),
      records_(copyInLargePages(other.records_)),
      text_(copyInLargePages(other.text_)),
      slots_(copyInLargePages(other.slots_)),
      apart_(other.apart_),
      changed_(other.changed_)
{
}

ContentStore& ContentStore::operator=(const ContentStore& other)
{
    if (this != &other)
        *this = ContentStore(other);
    return *this;
}

std::string ContentStore::defaultPath()
{
    return AppPaths::dataFolder() + "content-store";
}

void ContentStore::clear()
{
    records_.clear();
    text_.clear();
    apart_.clear();
    slots_.clear();
}

ContentStore::Loaded ContentStore::load()
{
    clear();
    changed_ = false;
    std::unique_ptr<MappedFileStream> file;
    struct stat info {};
    if (::lstat(path_.c_str(), &info) == 0) {
        try {
            file = std::make_unique<MappedFileStream>(path_);
        } catch (const std::exception& e) {
            qCWarning(logSaving, "the content store is not read: %s", e.what());
        }
    }
    Loaded loaded = Loaded::Empty;
    if (!file || file->size() == 0) {
        loaded = Loaded::Empty;
    } else if (parse({file->memory(), static_cast<std::size_t>(file->size())})) {
        qCInfo(logSaving, "content store read: %zu files", records_.size());
        loaded = Loaded::Read;
    } else {
        clear();
        setDamagedAside("it is damaged or was not written by this program");
        loaded = Loaded::SetAside;
    }
    loadApart();
    return loaded;
}

void ContentStore::loadApart()
{
    const std::string path = apartPath();
    std::string bytes;
    if (!AtomicFile::read(path, bytes))
        return;  // none: every pair is in the store
    const std::size_t before = apart_.size();
    if (!parseApart(bytes)) {
        const std::string aside = stamped(path);
        const bool moved = std::rename(path.c_str(), aside.c_str()) == 0;
        qCWarning(logSaving).noquote() << "the pictures marked as not similar in" << QString::fromStdString(path)
                                       << "cannot be read (it is damaged or was not written by this program);"
                                       << (moved ? "it was set aside as " + QString::fromStdString(aside)
                                                 : QStringLiteral("it is left as it is"));
        return;
    }
    if (apart_.size() != before)
        changed_ = true;  // the next save() takes them into the store
}

bool ContentStore::parseApart(const std::string& bytes)
{
    ApartHeader header{};
    if (bytes.size() < sizeof header + 4)
        return false;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.magic, ApartMagic, sizeof ApartMagic) != 0 || header.version != Version
        || header.byteOrder != ByteOrder || header.pairs > MaxApartPairs)
        return false;
    const std::size_t body = sizeof header + header.pairs * 2 * sizeof(ContentDigest);
    if (bytes.size() != body + 4)
        return false;
    std::uint32_t stored = 0;
    std::memcpy(&stored, bytes.data() + body, 4);
    if (stored != checksum(bytes.data(), body))
        return false;
    const char* at = bytes.data() + sizeof header;
    for (std::uint64_t i = 0; i < header.pairs && apart_.size() < MaxApartPairs; ++i, at += 2 * sizeof(ContentDigest)) {
        std::pair<ContentDigest, ContentDigest> pair;
        std::memcpy(pair.first.data(), at, sizeof(ContentDigest));
        std::memcpy(pair.second.data(), at + sizeof(ContentDigest), sizeof(ContentDigest));
        apart_.insert(pair);
    }
    return true;
}

std::string ContentStore::pairBytes(const std::set<std::pair<ContentDigest, ContentDigest>>& pairs)
{
    std::string bytes;
    bytes.reserve(pairs.size() * 2 * sizeof(ContentDigest));
    for (const auto& [a, b] : pairs) {
        bytes.append(reinterpret_cast<const char*>(a.data()), a.size());
        bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    return bytes;
}

bool ContentStore::saveApart()
{
    ApartHeader header{};
    std::memcpy(header.magic, ApartMagic, sizeof ApartMagic);
    header.version = Version;
    header.byteOrder = ByteOrder;
    header.pairs = apart_.size();
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    bytes += pairBytes(apart_);
    const std::uint32_t crc = checksum(bytes.data(), bytes.size());
    bytes.append(reinterpret_cast<const char*>(&crc), sizeof crc);
    AppPaths::ensureFolder(path_.substr(0, path_.rfind('/') + 1));
    if (!AtomicFile::write(apartPath(), bytes)) {
        qCWarning(logSaving).noquote() << "cannot write" << QString::fromStdString(apartPath())
                                       << "; the pictures marked as not similar are kept with the store when it is "
                                          "next written";
        return false;
    }
    return true;
}

bool ContentStore::parse(std::string_view bytes)
{
    Header header{};
    if (bytes.size() < sizeof header + 4)
        return false;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.magic, Magic, sizeof Magic) != 0 || header.version != Version
        || header.byteOrder != ByteOrder || header.records > MaxEntries || header.textBytes > MaxText
        || header.apartPairs > MaxApartPairs)
        return false;
    const std::size_t recordBytes = header.records * sizeof(Record);
    const std::size_t pairBytes = header.apartPairs * 2 * sizeof(ContentDigest);
    const std::size_t body = sizeof header + recordBytes + header.textBytes + pairBytes;
    if (bytes.size() != body + 4)
        return false;
    std::uint32_t stored = 0;
    std::memcpy(&stored, bytes.data() + body, 4);
    if (stored != checksum(bytes.data(), body))
        return false;
    const char* at = bytes.data() + sizeof header;
    records_ = roomInLargePages<std::vector<Record>>(header.records);
    records_.resize(header.records);
    std::memcpy(records_.data(), at, recordBytes);
    at += recordBytes;
    text_ = roomInLargePages<std::string>(header.textBytes);
    text_.assign(at, header.textBytes);
    at += header.textBytes;
    for (const Record& r : records_)
        if (std::uint64_t{r.text} + r.pathLength + r.idLength + r.groupLength > text_.size())
            return false;
    for (std::uint64_t i = 0; i < header.apartPairs; ++i, at += 2 * sizeof(ContentDigest)) {
        std::pair<ContentDigest, ContentDigest> pair;
        std::memcpy(pair.first.data(), at, sizeof(ContentDigest));
        std::memcpy(pair.second.data(), at + sizeof(ContentDigest), sizeof(ContentDigest));
        apart_.insert(pair);
    }
    rebuildIndex();
    return true;
}

std::string ContentStore::stamped(const std::string& path)
{
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return path + ".damaged-" + stamp;
}

void ContentStore::setDamagedAside(const std::string& why)
{
    setAside_ = stamped(path_);
    if (std::rename(path_.c_str(), setAside_.c_str()) != 0) {
        qCWarning(logSaving).noquote() << "the content store" << QString::fromStdString(path_) << "cannot be read ("
                                       << QString::fromStdString(why) << ") nor set aside; it is started afresh";
        setAside_.clear();
        return;
    }
    qCWarning(logSaving).noquote() << "the content store cannot be read (" << QString::fromStdString(why)
                                   << "); it was set aside as" << QString::fromStdString(setAside_)
                                   << "and a new one is started";
}

bool ContentStore::save()
{
    if (!changed_)
        return true;
    Header header{};
    std::memcpy(header.magic, Magic, sizeof Magic);
    header.version = Version;
    header.byteOrder = ByteOrder;
    header.records = records_.size();
    header.textBytes = text_.size();
    header.apartPairs = apart_.size();
    std::string bytes;
    bytes.reserve(sizeof header + records_.size() * sizeof(Record) + text_.size() + apart_.size() * 64 + 4);
    bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    bytes.append(reinterpret_cast<const char*>(records_.data()), records_.size() * sizeof(Record));
    bytes.append(text_);
    bytes += pairBytes(apart_);
    const std::uint32_t crc = checksum(bytes.data(), bytes.size());
    bytes.append(reinterpret_cast<const char*>(&crc), sizeof crc);
    AppPaths::ensureFolder(path_.substr(0, path_.rfind('/') + 1));
    if (!AtomicFile::write(path_, bytes)) {
        qCWarning(logSaving).noquote() << "cannot write the content store" << QString::fromStdString(path_)
                                       << "; it is tried again later";
        return false;
    }
    changed_ = false;
    // The store now holds every pair the side file had.
    if (std::remove(apartPath().c_str()) != 0 && errno != ENOENT)
        qCWarning(logSaving, "cannot remove %s: %s", apartPath().c_str(), std::strerror(errno));
    return true;
}

void ContentStore::rebuildIndex()
{
    std::size_t capacity = 1024;
    while (capacity < records_.size() * 2)
        capacity *= 2;
    slots_.assign(capacity, 0);
    for (std::size_t i = 0; i < records_.size(); ++i)
        indexRecord(static_cast<std::uint32_t>(i));
}

void ContentStore::indexRecord(std::uint32_t position)
{
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = slotKey(records_[position].digest) & mask;; slot = (slot + 1) & mask) {
        if (slots_[slot] == 0) {
            slots_[slot] = position + 1;
            return;
        }
        if (records_[slots_[slot] - 1].digest == records_[position].digest)
            return;  // the first one stays the one found
    }
}

std::optional<std::uint32_t> ContentStore::position(const ContentDigest& digest) const
{
    if (slots_.empty())
        return std::nullopt;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = slotKey(digest) & mask; slots_[slot] != 0; slot = (slot + 1) & mask)
        if (records_[slots_[slot] - 1].digest == digest)
            return slots_[slot] - 1;
    return std::nullopt;
}

ContentStore::Entry ContentStore::at(std::size_t i) const
{
    const Record& r = records_.at(i);
    Entry entry;
    entry.digest = r.digest;
    entry.size = r.size;
    entry.time = r.time;
    if (r.flags & HasDifferenceHash)
        entry.differenceHash = r.differenceHash;
    entry.path = text_.substr(r.text, r.pathLength);
    entry.messageId = text_.substr(r.text + r.pathLength, r.idLength);
    entry.group = text_.substr(r.text + r.pathLength + r.idLength, r.groupLength);
    return entry;
}

std::string_view ContentStore::pathAt(std::size_t i) const
{
    const Record& r = records_.at(i);
    return std::string_view(text_).substr(r.text, r.pathLength);
}

ContentStore::Brief ContentStore::briefAt(std::size_t i) const
{
    const Record& r = records_.at(i);
    Brief brief{r.digest, r.size, std::nullopt};
    if (r.flags & HasDifferenceHash)
        brief.differenceHash = r.differenceHash;
    return brief;
}

std::optional<ContentStore::Entry> ContentStore::find(const ContentDigest& digest) const
{
    const auto found = position(digest);
    return found ? std::optional<Entry>(at(*found)) : std::nullopt;
}

bool ContentStore::add(const Entry& entry)
{
    if (position(entry.digest))
        return false;
    const std::size_t texts = std::min<std::size_t>(entry.path.size(), UINT16_MAX)
                              + std::min<std::size_t>(entry.messageId.size(), UINT8_MAX)
                              + std::min<std::size_t>(entry.group.size(), UINT8_MAX);
    if (records_.size() >= MaxEntries || text_.size() + texts > MaxText)
        forgetOldest(std::max<std::size_t>(records_.size() / 8, 1));
    Record r{};
    r.digest = entry.digest;
    r.size = entry.size;
    r.time = entry.time;
    r.differenceHash = entry.differenceHash.value_or(0);
    r.flags = entry.differenceHash ? HasDifferenceHash : 0;
    r.text = static_cast<std::uint32_t>(text_.size());
    r.pathLength = static_cast<std::uint16_t>(std::min<std::size_t>(entry.path.size(), UINT16_MAX));
    r.idLength = static_cast<std::uint8_t>(std::min<std::size_t>(entry.messageId.size(), UINT8_MAX));
    r.groupLength = static_cast<std::uint8_t>(std::min<std::size_t>(entry.group.size(), UINT8_MAX));
    text_.append(entry.path, 0, r.pathLength);
    text_.append(entry.messageId, 0, r.idLength);
    text_.append(entry.group, 0, r.groupLength);
    records_.push_back(r);
    if (slots_.size() < records_.size() * 2)
        rebuildIndex();
    else
        indexRecord(static_cast<std::uint32_t>(records_.size() - 1));
    changed_ = true;
    return true;
}

void ContentStore::forgetOldest(std::size_t count)
{
    count = std::min(count, records_.size());
    qCInfo(logSaving, "content store full: the %zu oldest files are forgotten", count);
    records_.erase(records_.begin(), records_.begin() + static_cast<std::ptrdiff_t>(count));
    std::string text;
    for (Record& r : records_) {
        const std::size_t length = std::size_t{r.pathLength} + r.idLength + r.groupLength;
        const std::uint32_t from = r.text;
        r.text = static_cast<std::uint32_t>(text.size());
        text.append(text_, from, length);
    }
    text_ = std::move(text);
    rebuildIndex();
    changed_ = true;
}

bool ContentStore::setDifferenceHash(const ContentDigest& digest, std::uint64_t hash)
{
    const auto found = position(digest);
    if (!found)
        return false;
    Record& r = records_[*found];
    if ((r.flags & HasDifferenceHash) && r.differenceHash == hash)
        return true;
    r.differenceHash = hash;
    r.flags |= HasDifferenceHash;
    changed_ = true;
    return true;
}

std::pair<ContentDigest, ContentDigest> ContentStore::ordered(const ContentDigest& a, const ContentDigest& b)
{
    return a < b ? std::pair{a, b} : std::pair{b, a};
}

void ContentStore::markApart(const ContentDigest& a, const ContentDigest& b)
{
    if (a == b || apart_.size() >= MaxApartPairs)
        return;
    if (apart_.insert(ordered(a, b)).second)
        changed_ = true;
}

bool ContentStore::apart(const ContentDigest& a, const ContentDigest& b) const
{
    return !apart_.empty() && apart_.count(ordered(a, b)) > 0;
}

} // namespace nimbra
