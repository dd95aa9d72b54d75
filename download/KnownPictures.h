#pragma once

#include "download/ContentHasher.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

namespace nimbra {

class ContentStore;

// What the content store knows of the files under one folder, copied so that a worker
// thread may read it: per path the file first saved there (its digest, size and difference
// hash once one was made), and the pairs of pictures the user said are not alike. Made on
// the store's thread; read-only after, so any thread may read it.
class KnownPictures {
public:
    struct Picture {
        ContentDigest digest{};
        std::uint64_t size = 0;
        std::optional<std::uint64_t> differenceHash;
    };

    KnownPictures() = default;
    // The store's files whose paths begin with folder (every file for an empty folder).
    static KnownPictures of(const ContentStore& store, const std::string& folder = {});

    // The file the store knows under path, when the file there now still has that size (a
    // file of another size under the name is another file).
    const Picture* find(const std::string& path, std::uint64_t size) const;
    bool apart(const ContentDigest& a, const ContentDigest& b) const;
    bool anyApart() const { return !apart_.empty(); }
    std::size_t size() const { return byPath_.size(); }

private:
    std::unordered_map<std::string, Picture> byPath_;
    std::set<std::pair<ContentDigest, ContentDigest>> apart_;
};

} // namespace nimbra
