#pragma once

#include "download/ContentHasher.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace nimbra {

class ContentStore;

// What a content store knows of the files under one folder, by path: the file last saved
// there (its digest, size and difference hash once one was made), and the pairs of pictures
// the user said are not alike. It keeps the store it was made from, which must not change
// (a copy taken for a worker thread), and indexes its paths in place. Read-only once made,
// so any thread may read it.
class KnownPictures {
public:
    struct Picture {
        ContentDigest digest{};
        std::uint64_t size = 0;
        std::optional<std::uint64_t> differenceHash;
    };

    KnownPictures() = default;
    // The store's files whose paths begin with folder (every file for an empty folder).
    static KnownPictures of(std::shared_ptr<const ContentStore> store, const std::string& folder = {});

    // The file the store knows under path, when the file there now still has that size (a
    // file of another size under the name is another file).
    std::optional<Picture> find(const std::string& path, std::uint64_t size) const;
    bool apart(const ContentDigest& a, const ContentDigest& b) const;
    bool anyApart() const;
    std::size_t size() const { return byPath_.size(); }

private:
    std::shared_ptr<const ContentStore> store_;
    std::unordered_map<std::string_view, std::uint32_t> byPath_;  // views into the store's texts
};

} // namespace nimbra
