#pragma once

#include "download/ContentHasher.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nimbra {

// What the program has saved, by content: per file its SHA-256, size, the path it was first
// saved under, the article's message-id and group, when, and the picture's difference hash
// once one was made; and the pairs of pictures the user said are not alike. It outlives the
// files, so a picture deleted by the user is still known when it is posted again.
//
// Kept in the program's data folder as one binary file, read once (load()) and replaced
// atomically (save()) by its owner when it has changed: the saver at the end of each group
// and when it goes. The file is this machine's byte order, guarded by a checksum; one that
// is damaged or from elsewhere is renamed aside ("<name>.damaged-<time>") and the store starts
// empty, which never stops saving.
//
// Memory is bounded: at most MaxEntries files (about 72 bytes each plus the three texts);
// when full, the oldest eighth is forgotten. One thread.
class ContentStore {
public:
    static constexpr std::size_t MaxEntries = std::size_t{1} << 20;
    static constexpr std::size_t MaxApartPairs = std::size_t{1} << 16;

    struct Entry {
        ContentDigest digest{};
        std::uint64_t size = 0;
        std::int64_t time = 0;  // seconds since the epoch, when first saved
        std::optional<std::uint64_t> differenceHash;
        std::string path;  // texts longer than the store keeps are cut
        std::string messageId;
        std::string group;
    };

    enum class Loaded { Empty, Read, SetAside };

    explicit ContentStore(std::string path = defaultPath());
    // A copy (the gallery's "Similar" view takes one) is made in large pages where the system
    // gives them: a million files are some 200 MB of fresh memory.
    ContentStore(const ContentStore& other);
    ContentStore& operator=(const ContentStore& other);
    ContentStore(ContentStore&&) noexcept = default;
    ContentStore& operator=(ContentStore&&) noexcept = default;
    ~ContentStore() = default;
    // "content-store" in the program's data folder.
    static std::string defaultPath();
    const std::string& path() const { return path_; }

    // Reads the file, replacing what is in memory. Empty: there was none. SetAside: it was
    // damaged, moved to setAsidePath() (logged), and the store is empty.
    Loaded load();
    const std::string& setAsidePath() const { return setAside_; }
    // Writes the file when anything changed since it was read or written; false (logged,
    // still changed) when it could not be written.
    bool save();
    bool changed() const { return changed_; }

    std::size_t size() const { return records_.size(); }
    // The entry at position i (oldest first), for walking the store.
    Entry at(std::size_t i) const;
    // Its path, a view into the store valid until the store changes; and the rest of it
    // that a lookup by path needs, without copying its texts.
    std::string_view pathAt(std::size_t i) const;
    struct Brief {
        ContentDigest digest{};
        std::uint64_t size = 0;
        std::optional<std::uint64_t> differenceHash;
    };
    Brief briefAt(std::size_t i) const;
    std::optional<Entry> find(const ContentDigest& digest) const;
    // Adds the file when its content is not known yet; false when it is.
    bool add(const Entry& entry);
    // Records the picture's difference hash; false when the content is not known.
    bool setDifferenceHash(const ContentDigest& digest, std::uint64_t hash);

    // "Not similar": the two pictures are never linked as alike.
    void markApart(const ContentDigest& a, const ContentDigest& b);
    // Writes only the pairs, to a small file beside the store ("<name>.apart"), so that the
    // user's choice is kept at once without writing the whole store; load() folds it in and
    // save() removes it once the store holds the pairs. False (logged) when it cannot be written.
    bool saveApart();
    std::string apartPath() const { return path_ + ".apart"; }
    bool apart(const ContentDigest& a, const ContentDigest& b) const;
    // Every such pair, the smaller digest first.
    const std::set<std::pair<ContentDigest, ContentDigest>>& apartPairs() const { return apart_; }

private:
    // One file, as kept in memory and on disk (72 bytes).
    struct Record {
        ContentDigest digest;
        std::uint64_t size;
        std::int64_t time;
        std::uint64_t differenceHash;
        std::uint32_t text;  // where the path, message-id and group begin in text_
        std::uint16_t pathLength;
        std::uint8_t idLength;
        std::uint8_t groupLength;
        std::uint8_t flags;  // HasDifferenceHash
        std::uint8_t unused[7];
    };
    static constexpr std::uint8_t HasDifferenceHash = 1;

    static std::pair<ContentDigest, ContentDigest> ordered(const ContentDigest& a, const ContentDigest& b);
    bool parse(std::string_view bytes);
    // The pairs of the file saveApart() writes; false when it is damaged.
    bool parseApart(const std::string& bytes);
    void loadApart();
    static std::string pairBytes(const std::set<std::pair<ContentDigest, ContentDigest>>& pairs);
    static std::string stamped(const std::string& path);
    void clear();
    void rebuildIndex();
    void indexRecord(std::uint32_t position);
    std::optional<std::uint32_t> position(const ContentDigest& digest) const;
    void forgetOldest(std::size_t count);
    void setDamagedAside(const std::string& why);

    std::string path_;
    std::string setAside_;
    std::vector<Record> records_;
    std::string text_;                  // the records' texts, one after the other
    std::vector<std::uint32_t> slots_;  // open addressing: record position + 1, 0 when free
    std::set<std::pair<ContentDigest, ContentDigest>> apart_;
    bool changed_ = false;
};

} // namespace nimbra
