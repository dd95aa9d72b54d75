#include "download/KnownPictures.h"

#include "download/ContentStore.h"

namespace nimbra {

KnownPictures KnownPictures::of(const ContentStore& store, const std::string& folder)
{
    KnownPictures known;
    for (std::size_t i = 0; i < store.size(); ++i) {
        ContentStore::Entry entry = store.at(i);
        if (entry.path.compare(0, folder.size(), folder) != 0)
            continue;
        // Oldest first: the last file saved under a path is the one that may be there now.
        known.byPath_.insert_or_assign(std::move(entry.path), Picture{entry.digest, entry.size, entry.differenceHash});
    }
    known.apart_ = store.apartPairs();
    return known;
}

const KnownPictures::Picture* KnownPictures::find(const std::string& path, std::uint64_t size) const
{
    const auto found = byPath_.find(path);
    return found != byPath_.end() && found->second.size == size ? &found->second : nullptr;
}

bool KnownPictures::apart(const ContentDigest& a, const ContentDigest& b) const
{
    return apart_.count(a < b ? std::pair{a, b} : std::pair{b, a}) != 0;
}

} // namespace nimbra
