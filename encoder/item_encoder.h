// Codes LZ items (literals and the three kinds of match) and check values
// with the nine adaptive models, exactly as the decoder reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "arith_encoder.h"
#include "model_coder.h"

namespace upkit {

// Which distances each kind of match can reach in a window of 2^bits bytes.
struct MatchLimits {
    explicit MatchLimits(int window_bits);
    std::uint32_t window_size;
    int match3_slots;  // symbols of the three position models
    int match4_slots;
    int long_slots;
    std::uint32_t max_distance3;      // 3-byte matches
    std::uint32_t max_distance4;      // 4-byte matches
    std::uint32_t max_distance_long;  // long matches

    // The longest length up to `length` that a match at `distance` can be
    // coded with, or 0 when it cannot be coded at all.
    std::uint32_t codable_length(std::uint32_t length, std::uint32_t distance) const;

    // How many recent positions a match finder over `data_size` bytes must
    // remember (a power of two): the window, or less when all the data fits
    // in less. Small inputs then need no window-sized tables.
    std::uint32_t ring_size(std::size_t data_size) const
    {
        std::uint32_t size = 1;
        while (size < window_size && size < data_size)
            size <<= 1;
        return size;
    }
};

// The nine adaptive models as the decoder holds them, with the price of an
// item in their current state and the change that coding it makes.
struct ItemModels {
    explicit ItemModels(int window_bits);

    std::uint32_t literal_price(std::uint8_t byte) const
    {
        const int model = literal_model_of(byte);
        return selector.cost(model) + literals[model].cost(byte);
    }
    // A codable match (see MatchLimits::codable_length).
    std::uint32_t match_price(std::uint32_t length, std::uint32_t distance) const;
    void update_literal(std::uint8_t byte);
    void update_match(std::uint32_t length, std::uint32_t distance);

    MatchLimits limits;
    ModelCoder selector;
    ModelCoder literals[kLiteralModels];
    ModelCoder length;
    ModelCoder match3_position;
    ModelCoder match4_position;
    ModelCoder long_position;
};

class ItemEncoder {
public:
    explicit ItemEncoder(int window_bits);

    void literal(std::uint8_t byte);
    // length 3, 4 or kMinLongMatch..kMaxMatch, at a distance its kind can reach.
    void match(std::uint32_t length, std::uint32_t distance);
    void check_value(std::uint16_t value);
    std::vector<std::uint8_t> finish() { return coder_.finish(); }

    const MatchLimits& limits() const { return models_.limits; }
    const ItemModels& models() const { return models_; }

private:
    void distance(ModelCoder& model, std::uint32_t distance);

    ItemModels models_;
    ArithEncoder coder_;
};

// Slot of a match distance (1 ..) and of a long match length (kMinLongMatch ..
// kMaxMatch).
int position_slot(std::uint32_t distance);
int length_slot(std::uint32_t length);

}  // namespace upkit
