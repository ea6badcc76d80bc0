// Finds, at each position, the nearest earlier occurrence of every match
// length there is, through binary trees of the earlier positions ordered by
// the bytes that follow them: one tree per hash of three bytes, newest
// position at the root, bounded by the window.
//
// Each position is visited once, in order, through find() or skip(); both
// put it into its tree. A search walks from the root towards older
// positions, so each new longest match it meets is also the nearest one of
// that length or longer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "item_encoder.h"

namespace upkit {

struct MatchCandidate {
    std::uint32_t length;
    std::uint32_t distance;
};

// find() writes at most this many candidates (one of each length, increasing).
const std::size_t kMaxCandidates = kMaxMatch - kMinMatch + 1;

class BinaryTreeFinder {
public:
    // depth: how many tree nodes one search may visit.
    BinaryTreeFinder(std::span<const std::uint8_t> data, const MatchLimits& limits, int depth);

    // The matches at pos, by increasing length, each the nearest of its
    // length or longer; lengths may run to the end of the data. Returns the
    // number written to out.
    std::size_t find(std::size_t pos, MatchCandidate* out);
    void skip(std::size_t pos);

private:
    std::size_t walk(std::size_t pos, MatchCandidate* out);

    std::span<const std::uint8_t> data_;
    std::uint32_t max_distance_;
    std::uint32_t ring_mask_;
    int depth_;
    int hash_bits_;
    std::vector<std::int32_t> head_;
    // Two children per ring slot of a position: [0] the tree of positions
    // whose bytes sort above it, [1] those that sort below.
    std::vector<std::int32_t> children_;
};

}  // namespace upkit
