#include "item_encoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <stdexcept>

namespace upkit {

namespace {

// Selector symbols: 0..3 a literal from model byte/64, then the matches.
const int kSelectMatch3 = 4;
const int kSelectMatch4 = 5;
const int kSelectLong = 6;

// The slot bases are computed tables of the engine; fill them before use.
int slots_below(std::uint32_t limit)
{
    compute_slot_bases();
    return position_slots_below(limit);
}

// The farthest distance that the first `slots` position slots reach.
std::uint32_t reach(int slots)
{
    return slots ? position_base[slots - 1] + (1u << position_extra_bits[slots - 1]) : 0;
}

}  // namespace

MatchLimits::MatchLimits(int window_bits)
    : window_size(1u << window_bits),
      match3_slots(slots_below(std::min<std::uint32_t>(window_size, kMatch3Reach))),
      match4_slots(slots_below(std::min<std::uint32_t>(window_size, kMatch4Reach))),
      long_slots(slots_below(window_size)),
      max_distance3(reach(match3_slots)),
      max_distance4(reach(match4_slots)),
      max_distance_long(reach(long_slots))
{
}

std::uint32_t MatchLimits::codable_length(std::uint32_t length, std::uint32_t distance) const
{
    if (length >= kMinLongMatch && distance <= max_distance_long)
        return length > kMaxMatch ? kMaxMatch : length;
    if (length >= 4 && distance <= max_distance4)
        return 4;
    if (length >= 3 && distance <= max_distance3)
        return 3;
    return 0;
}

int position_slot(std::uint32_t distance)
{
    const std::uint32_t v = distance - 1;
    if (v < 4)
        return static_cast<int>(v);
    const int top = std::bit_width(v) - 1;
    return 2 * top + static_cast<int>((v >> (top - 1)) & 1);
}

int length_slot(std::uint32_t length)
{
    static const std::array<std::uint8_t, kMaxMatch - kMinLongMatch + 1> slots = [] {
        compute_slot_bases();
        std::array<std::uint8_t, kMaxMatch - kMinLongMatch + 1> table{};
        int slot = 0;
        for (std::uint32_t v = 0; v < table.size(); ++v) {
            while (slot + 1 < kLengthSlots && length_base[slot + 1] <= v)
                ++slot;
            table[v] = static_cast<std::uint8_t>(slot);
        }
        return table;
    }();
    return slots[length - kMinLongMatch];
}

ItemEncoder::ItemEncoder(int window_bits) : limits_(window_bits)
{
    selector_.reset(7, 0);
    for (int k = 0; k < 4; ++k)
        literals_[k].reset(64, 64 * k);
    length_.reset(kLengthSlots, 0);
    match3_position_.reset(limits_.match3_slots, 0);
    match4_position_.reset(limits_.match4_slots, 0);
    long_position_.reset(limits_.long_slots, 0);
}

void ItemEncoder::literal(std::uint8_t byte)
{
    selector_.encode(coder_, byte >> 6);
    literals_[byte >> 6].encode(coder_, byte);
}

void ItemEncoder::distance(ModelCoder& model, std::uint32_t value)
{
    const int slot = position_slot(value);
    model.encode(coder_, slot);
    coder_.raw_bits(value - 1 - position_base[slot], position_extra_bits[slot]);
}

void ItemEncoder::match(std::uint32_t length, std::uint32_t dist)
{
    if (limits_.codable_length(length, dist) != length || length < 3)
        throw std::logic_error("match cannot be coded");
    if (length == 3) {
        selector_.encode(coder_, kSelectMatch3);
        distance(match3_position_, dist);
    } else if (length == 4) {
        selector_.encode(coder_, kSelectMatch4);
        distance(match4_position_, dist);
    } else {
        selector_.encode(coder_, kSelectLong);
        const int slot = length_slot(length);
        length_.encode(coder_, slot);
        coder_.raw_bits(length - kMinLongMatch - length_base[slot], length_extra_bits[slot]);
        distance(long_position_, dist);
    }
}

void ItemEncoder::check_value(std::uint16_t value) { coder_.raw_bits(value, 16); }

}  // namespace upkit
