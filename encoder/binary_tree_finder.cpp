#include "binary_tree_finder.h"

#include <algorithm>
#include <bit>

namespace upkit {

namespace {
const std::int32_t kNone = -1;
}

BinaryTreeFinder::BinaryTreeFinder(std::span<const std::uint8_t> data, const MatchLimits& limits, int depth)
    : data_(data)
    ,
    // A ring slot is reused a window later, so a node must be nearer than that.
    max_distance_(std::min(limits.max_distance_long, limits.window_size - 1))
    , ring_mask_(limits.ring_size(data.size()) - 1)
    , depth_(depth)
    , hash_bits_(std::clamp(static_cast<int>(std::bit_width(limits.window_size)) - 3, 12, 18))
    , head_(std::size_t{1} << hash_bits_, kNone)
    , children_(std::size_t{2} * (ring_mask_ + 1), kNone)
{
}

std::size_t BinaryTreeFinder::find(std::size_t pos, MatchCandidate* out)
{
    return walk(pos, out);
}

void BinaryTreeFinder::skip(std::size_t pos)
{
    walk(pos, nullptr);
}

std::size_t BinaryTreeFinder::walk(std::size_t pos, MatchCandidate* out)
{
    const std::size_t available = data_.size() - pos;
    if (pos >= data_.size() || available < 3)
        return 0;
    const std::uint32_t limit = static_cast<std::uint32_t>(std::min<std::size_t>(kMaxMatch, available));
    const std::uint8_t* here = data_.data() + pos;
    const std::uint32_t key = (std::uint32_t{here[0]} << 16) | (std::uint32_t{here[1]} << 8) | here[2];
    const std::uint32_t hash = (key * 2654435761u) >> (32 - hash_bits_);

    std::int32_t candidate = head_[hash];
    head_[hash] = static_cast<std::int32_t>(pos);
    std::int32_t* above = &children_[2 * (pos & ring_mask_)];      // where the next node sorting above goes
    std::int32_t* below = &children_[2 * (pos & ring_mask_) + 1];  // ... and sorting below
    // Every node still to come shares at least min(above_length,
    // below_length) bytes with here: the subtree lies between two nodes that
    // do.
    std::uint32_t above_length = 0;
    std::uint32_t below_length = 0;
    std::uint32_t best = 2;
    std::size_t count = 0;

    for (int steps = depth_;; --steps) {
        const std::size_t distance = pos - static_cast<std::size_t>(candidate);
        if (candidate == kNone || distance > max_distance_ || steps == 0) {
            *above = kNone;
            *below = kNone;
            break;
        }
        std::int32_t* node = &children_[2 * (static_cast<std::uint32_t>(candidate) & ring_mask_)];
        const std::uint8_t* there = data_.data() + candidate;
        std::uint32_t length = std::min(above_length, below_length);
        while (length < limit && there[length] == here[length])
            ++length;
        if (length > best) {
            best = length;
            if (out)
                out[count++] = {length, static_cast<std::uint32_t>(distance)};
        }
        if (length == limit) {
            // Equal as far as we compare: pos takes the node's place.
            *above = node[0];
            *below = node[1];
            break;
        }
        if (there[length] > here[length]) {
            *above = candidate;
            above = &node[1];
            above_length = length;
        } else {
            *below = candidate;
            below = &node[0];
            below_length = length;
        }
        candidate = *(there[length] > here[length] ? above : below);
    }
    return count;
}

}  // namespace upkit
