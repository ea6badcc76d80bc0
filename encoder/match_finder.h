// Finds earlier occurrences of the bytes at a position, through hash chains
// over three-byte prefixes, within the reach of each kind of match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "item_encoder.h"

namespace upkit {

struct Match {
    std::uint32_t length = 0;  // 0: no codable match
    std::uint32_t distance = 0;
};

class MatchFinder {
public:
    MatchFinder(std::span<const std::uint8_t> data, const MatchLimits& limits, int max_chain);

    // The longest codable match at pos of at most max_length bytes (the
    // nearest of equal length), among the positions inserted so far.
    Match find(std::size_t pos, std::uint32_t max_length) const;
    // Makes pos available to later searches; positions go in ascending order.
    void insert(std::size_t pos);

private:
    std::uint32_t hash_at(std::size_t pos) const;

    std::span<const std::uint8_t> data_;
    const MatchLimits& limits_;
    int max_chain_;
    std::uint32_t ring_mask_;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> prev_;  // previous position of the same hash, by pos & ring_mask_
};

}  // namespace upkit
