#include "match_finder.h"

namespace upkit {

namespace {
const int kHashBits = 16;
}

MatchFinder::MatchFinder(std::span<const std::uint8_t> data, const MatchLimits& limits, int max_chain)
    : data_(data)
    , limits_(limits)
    , max_chain_(max_chain)
    , ring_mask_(limits.ring_size(data.size()) - 1)
    , head_(std::size_t{1} << kHashBits, -1)
    , prev_(std::size_t{ring_mask_} + 1, -1)
{
}

std::uint32_t MatchFinder::hash_at(std::size_t pos) const
{
    const std::uint32_t v = (std::uint32_t{data_[pos]} << 16) | (std::uint32_t{data_[pos + 1]} << 8) | data_[pos + 2];
    return (v * 2654435761u) >> (32 - kHashBits);
}

void MatchFinder::insert(std::size_t pos)
{
    if (pos + 2 >= data_.size())
        return;
    const std::uint32_t h = hash_at(pos);
    prev_[pos & ring_mask_] = head_[h];
    head_[h] = static_cast<std::int32_t>(pos);
}

Match MatchFinder::find(std::size_t pos, std::uint32_t max_length) const
{
    Match best;
    if (max_length < kMinMatch || pos + 2 >= data_.size())
        return best;
    const std::uint8_t* here = data_.data() + pos;
    std::int32_t candidate = head_[hash_at(pos)];
    // Chains are newest first, so distances grow along them.
    for (int chain = max_chain_; candidate >= 0 && chain > 0; --chain) {
        const std::uint32_t distance = static_cast<std::uint32_t>(pos - static_cast<std::size_t>(candidate));
        if (distance > limits_.max_distance_long)
            break;
        const std::uint8_t* there = data_.data() + candidate;
        if (there[best.length] == here[best.length] || best.length == 0) {
            std::uint32_t length = 0;
            while (length < max_length && there[length] == here[length])
                ++length;
            const std::uint32_t codable = limits_.codable_length(length, distance);
            if (codable > best.length) {
                best = {codable, distance};
                if (codable == max_length)
                    break;
            }
        }
        const std::int32_t next = prev_[static_cast<std::uint32_t>(candidate) & ring_mask_];
        if (next >= candidate)
            break;  // the ring slot was reused by a newer position
        candidate = next;
    }
    return best;
}

}  // namespace upkit
