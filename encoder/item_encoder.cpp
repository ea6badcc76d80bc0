#include "item_encoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <stdexcept>

#include "invariant.h"

namespace upkit {

namespace {

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
    : window_size(1u << window_bits)
    , match3_slots(slots_below(std::min<std::uint32_t>(window_size, kMatch3Reach)))
    , match4_slots(slots_below(std::min<std::uint32_t>(window_size, kMatch4Reach)))
    , long_slots(slots_below(window_size))
    , max_distance3(reach(match3_slots))
    , max_distance4(reach(match4_slots))
    , max_distance_long(reach(long_slots))
{
}

std::uint32_t MatchLimits::codable_length(std::uint32_t length, std::uint32_t distance) const
{
    if (length >= kMinLongMatch && distance <= max_distance_long)
        return length > kMaxMatch ? kMaxMatch : length;
    if (length >= kMatch4Length && distance <= max_distance4)
        return kMatch4Length;
    if (length >= kMatch3Length && distance <= max_distance3)
        return kMatch3Length;
    return 0;
}

int position_slot(std::uint32_t distance)
{
    const std::uint32_t v = distance - 1;
    if (v < 4)
        return static_cast<int>(v);
    const int top = std::bit_width(v) - 1;
    const int slot = 2 * top + static_cast<int>((v >> (top - 1)) & 1);
    // The slot indexes the extra bits and the prices. A distance of 0, which
    // no match has, wraps to the top and fails here too.
    UPKIT_ASSERT(slot < kPositionSlots);
    return slot;
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
    UPKIT_ASSERT(length >= kMinLongMatch && length <= kMaxMatch);  // the table's lengths
    return slots[length - kMinLongMatch];
}

ItemModels::ItemModels(int window_bits) : limits(window_bits)
{
    selector.reset(kSelectorSymbols, 0);
    for (int k = 0; k < kLiteralModels; ++k)
        literals[k].reset(kLiteralModelSymbols, kLiteralModelSymbols * k);
    length.reset(kLengthSlots, 0);
    match3_position.reset(limits.match3_slots, 0);
    match4_position.reset(limits.match4_slots, 0);
    long_position.reset(limits.long_slots, 0);
}

std::uint32_t ItemModels::match_price(std::uint32_t match_length, std::uint32_t distance) const
{
    const int slot = position_slot(distance);
    const std::uint32_t extra = position_extra_bits[slot] * kPriceOneBit;
    if (match_length == kMatch3Length)
        return selector.cost(kSelectMatch3) + match3_position.cost(slot) + extra;
    if (match_length == kMatch4Length)
        return selector.cost(kSelectMatch4) + match4_position.cost(slot) + extra;
    const int lslot = length_slot(match_length);
    return selector.cost(kSelectLong) + length.cost(lslot) + length_extra_bits[lslot] * kPriceOneBit +
           long_position.cost(slot) + extra;
}

void ItemModels::update_literal(std::uint8_t byte)
{
    const int model = literal_model_of(byte);
    selector.update(model);
    literals[model].update(byte);
}

void ItemModels::update_match(std::uint32_t match_length, std::uint32_t distance)
{
    const int slot = position_slot(distance);
    if (match_length == kMatch3Length) {
        selector.update(kSelectMatch3);
        match3_position.update(slot);
    } else if (match_length == kMatch4Length) {
        selector.update(kSelectMatch4);
        match4_position.update(slot);
    } else {
        selector.update(kSelectLong);
        length.update(length_slot(match_length));
        long_position.update(slot);
    }
}

ItemEncoder::ItemEncoder(int window_bits) : models_(window_bits)
{
}

void ItemEncoder::literal(std::uint8_t byte)
{
    const int model = literal_model_of(byte);
    models_.selector.encode(coder_, model);
    models_.literals[model].encode(coder_, byte);
}

void ItemEncoder::distance(ModelCoder& model, std::uint32_t value)
{
    const int slot = position_slot(value);
    model.encode(coder_, slot);
    coder_.raw_bits(value - 1 - position_base[slot], position_extra_bits[slot]);
}

void ItemEncoder::match(std::uint32_t length, std::uint32_t dist)
{
    if (models_.limits.codable_length(length, dist) != length || length < kMinMatch)
        throw std::logic_error("match cannot be coded");
    if (length == kMatch3Length) {
        models_.selector.encode(coder_, kSelectMatch3);
        distance(models_.match3_position, dist);
    } else if (length == kMatch4Length) {
        models_.selector.encode(coder_, kSelectMatch4);
        distance(models_.match4_position, dist);
    } else {
        models_.selector.encode(coder_, kSelectLong);
        const int slot = length_slot(length);
        models_.length.encode(coder_, slot);
        coder_.raw_bits(length - kMinLongMatch - length_base[slot], length_extra_bits[slot]);
        distance(models_.long_position, dist);
    }
}

void ItemEncoder::check_value(std::uint16_t value)
{
    coder_.raw_bits(value, 16);
}

}  // namespace upkit
