// The price of every item the parser may choose, read off the adaptive
// models at one moment, in tables the parser's inner loop can index.
#pragma once

#include <array>
#include <cstdint>

#include "item_encoder.h"

namespace upkit {

struct ItemPrices {
    explicit ItemPrices(const ItemModels& models);

    std::uint32_t literal(std::uint8_t byte) const { return literals[byte]; }
    // Prices of a match of `length` at `distance`, split as the parser needs
    // them: a part for the distance, which stays the same while the length
    // grows, and a part for the length.
    std::uint32_t distance_part(std::uint32_t length, std::uint32_t distance) const;
    std::uint32_t length_part(std::uint32_t length) const { return lengths[length]; }

    std::array<std::uint32_t, 256> literals{};
    // The selector's price and, for a long match, the length slot and extra
    // bits.
    std::array<std::uint32_t, kMaxMatch + 1> lengths{};
    // By position slot: the slot's price and its extra bits.
    std::array<std::uint32_t, kPositionSlots> match3_positions{};
    std::array<std::uint32_t, kPositionSlots> match4_positions{};
    std::array<std::uint32_t, kPositionSlots> long_positions{};
};

}  // namespace upkit
