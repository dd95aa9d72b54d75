#include "download/SimilarityIndex.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace nimbra {
namespace {

// Disjoint sets over the ids, for joining pairs into groups.
class Groups {
public:
    explicit Groups(std::size_t count) : parent_(count) { std::iota(parent_.begin(), parent_.end(), 0); }
    std::size_t root(std::size_t id)
    {
        while (parent_[id] != id)
            id = parent_[id] = parent_[parent_[id]];
        return id;
    }
    void join(std::size_t a, std::size_t b)
    {
        a = root(a);
        b = root(b);
        if (a != b)
            parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<std::size_t> parent_;
};

} // namespace

SimilarityIndex::SimilarityIndex(std::vector<std::uint64_t> hashes, int maxDistance)
    : hashes_(std::move(hashes)), maxDistance_(std::clamp(maxDistance, 0, MaxDistance))
{
    for (int q = 0; q < Quarters; ++q) {
        std::vector<std::uint32_t>& starts = starts_[q];
        starts.assign(Buckets + 1, 0);
        for (const std::uint64_t hash : hashes_)
            ++starts[quarter(hash, q) + 1u];
        std::partial_sum(starts.begin(), starts.end(), starts.begin());
        std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
        ids_[q].resize(hashes_.size());
        for (std::size_t id = 0; id < hashes_.size(); ++id)
            ids_[q][next[quarter(hashes_[id], q)]++] = static_cast<std::uint32_t>(id);
    }
}

int SimilarityIndex::distance(std::uint64_t a, std::uint64_t b)
{
    return std::popcount(a ^ b);
}

template <typename Visit>
void SimilarityIndex::aroundQuarter(std::uint16_t value, Visit&& visit) const
{
    // Every value differing in at most radius of the 16 bits: flips of increasing bit
    // positions, so each value comes once.
    const int radius = maxDistance_ / Quarters;
    const auto flip = [&](auto&& self, std::uint16_t current, int from, int left) -> void {
        visit(current);
        if (left == 0)
            return;
        for (int bit = from; bit < 16; ++bit)
            self(self, static_cast<std::uint16_t>(current ^ (1u << bit)), bit + 1, left - 1);
    };
    flip(flip, value, 0, radius);
}

std::vector<std::size_t> SimilarityIndex::near(std::uint64_t hash) const
{
    std::vector<std::size_t> found;
    for (int q = 0; q < Quarters; ++q) {
        aroundQuarter(quarter(hash, q), [&](std::uint16_t value) {
            for (std::uint32_t i = starts_[q][value]; i < starts_[q][value + 1u]; ++i) {
                const std::uint32_t id = ids_[q][i];
                if (distance(hashes_[id], hash) <= maxDistance_)
                    found.push_back(id);
            }
        });
    }
    // A hash near in several quarters is found once per quarter.
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

std::vector<std::vector<std::size_t>> SimilarityIndex::groups(const Apart& apart) const
{
    Groups sets(hashes_.size());
    // Pictures with the very same hash are looked up once: the rest of them join the first.
    std::vector<std::size_t> byHash(hashes_.size());
    std::iota(byHash.begin(), byHash.end(), 0);
    std::stable_sort(byHash.begin(), byHash.end(), [&](std::size_t a, std::size_t b) { return hashes_[a] < hashes_[b]; });
    for (std::size_t i = 0; i < byHash.size(); ++i) {
        const std::size_t id = byHash[i];
        if (i > 0 && hashes_[byHash[i - 1]] == hashes_[id] && !apart) {
            sets.join(byHash[i - 1], id);
            continue;
        }
        for (const std::size_t other : near(hashes_[id])) {
            if (other != id && !(apart && apart(std::min(id, other), std::max(id, other))))
                sets.join(id, other);
        }
    }
    std::vector<std::vector<std::size_t>> members(hashes_.size());
    for (std::size_t id = 0; id < hashes_.size(); ++id)
        members[sets.root(id)].push_back(id);
    std::vector<std::vector<std::size_t>> result;
    for (std::vector<std::size_t>& group : members)
        if (group.size() > 1)
            result.push_back(std::move(group));
    return result;
}

} // namespace nimbra
