#include "download/KnownPictures.h"

#include "download/ContentStore.h"

namespace nimbra {

KnownPictures KnownPictures::of(std::shared_ptr<const ContentStore> store, const std::string& folder)
{
    KnownPictures known;
    if (!store)
        return known;
    known.byPath_.reserve(store->size());
    for (std::size_t i = 0; i < store->size(); ++i) {
        const std::string_view path = store->pathAt(i);
        // Oldest first: the last file saved under a path is the one that may be there now.
        if (path.substr(0, folder.size()) == folder)
            known.byPath_.insert_or_assign(path, static_cast<std::uint32_t>(i));
    }
    known.store_ = std::move(store);
    return known;
}

std::optional<KnownPictures::Picture> KnownPictures::find(const std::string& path, std::uint64_t size) const
{
    const auto found = byPath_.find(path);
    if (found == byPath_.end())
        return std::nullopt;
    const ContentStore::Brief brief = store_->briefAt(found->second);
    if (brief.size != size)
        return std::nullopt;
    return Picture{brief.digest, brief.size, brief.differenceHash};
}

bool KnownPictures::apart(const ContentDigest& a, const ContentDigest& b) const
{
    return store_ && store_->apart(a, b);
}

bool KnownPictures::anyApart() const
{
    return store_ && !store_->apartPairs().empty();
}

} // namespace nimbra
