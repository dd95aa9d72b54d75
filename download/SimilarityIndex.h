#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace nimbra {

// Finds the pictures whose 64-bit difference hashes (DifferenceHash) lie within a Hamming
// distance of each other, without comparing every pair: the hashes are split into four
// 16-bit quarters, and two hashes within distance d agree in at least one quarter up to
// d / 4 bits, so each hash is compared only with those found under the quarters near its
// own (multi-index hashing). Built once from a list of hashes, which it copies; the ids it
// answers with are positions in that list. Read-only after construction, so a built index
// may be queried from several threads.
class SimilarityIndex {
public:
    // The largest distance the index is meant for; beyond it a quarter's neighbourhood grows
    // so large that the index saves little.
    static constexpr int MaxDistance = 16;

    // maxDistance is clamped to 0..MaxDistance.
    SimilarityIndex(std::vector<std::uint64_t> hashes, int maxDistance);

    static int distance(std::uint64_t a, std::uint64_t b);
    int maxDistance() const { return maxDistance_; }
    std::size_t size() const { return hashes_.size(); }

    // The ids of the hashes within the distance of hash, in increasing order (an id whose
    // hash is hash itself included).
    std::vector<std::size_t> near(std::uint64_t hash) const;

    // Whether the two ids were marked as not alike by the user.
    using Apart = std::function<bool(std::size_t, std::size_t)>;
    // The groups of two or more ids linked by pairs within the distance; a pair that apart
    // names is never the link that joins its two ids (they may still meet through a third
    // picture near both). Each group is in increasing id order, the groups ordered by their
    // first id.
    std::vector<std::vector<std::size_t>> groups(const Apart& apart = {}) const;

private:
    static constexpr int Quarters = 4;
    static constexpr std::size_t Buckets = 1u << 16;

    static std::uint16_t quarter(std::uint64_t hash, int q)
    {
        return static_cast<std::uint16_t>(hash >> (16 * q));
    }
    // Calls visit with each 16-bit value within radius bits of value.
    template <typename Visit>
    void aroundQuarter(std::uint16_t value, Visit&& visit) const;

    std::vector<std::uint64_t> hashes_;
    int maxDistance_;
    // Per quarter, the ids sorted by that quarter's value, and where each value's run begins
    // (Buckets + 1 offsets).
    std::vector<std::uint32_t> ids_[Quarters];
    std::vector<std::uint32_t> starts_[Quarters];
};

} // namespace nimbra
