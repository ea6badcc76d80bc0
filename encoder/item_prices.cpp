#include "item_prices.h"

namespace upkit {

namespace {

template <std::size_t N> void fill_positions(std::array<std::uint32_t, N>& prices, const ModelCoder& model)
{
    for (int slot = 0; slot < model.symbol_count(); ++slot)
        prices[slot] = model.cost(slot) + position_extra_bits[slot] * kPriceOneBit;
}

}  // namespace

ItemPrices::ItemPrices(const ItemModels& models)
{
    for (int byte = 0; byte < 256; ++byte)
        literals[byte] = models.literal_price(static_cast<std::uint8_t>(byte));
    lengths[kMatch3Length] = models.selector.cost(kSelectMatch3);
    lengths[kMatch4Length] = models.selector.cost(kSelectMatch4);
    const std::uint32_t long_selector = models.selector.cost(kSelectLong);
    for (int length = kMinLongMatch; length <= kMaxMatch; ++length) {
        const int slot = length_slot(length);
        lengths[length] = long_selector + models.length.cost(slot) + length_extra_bits[slot] * kPriceOneBit;
    }
    fill_positions(match3_positions, models.match3_position);
    fill_positions(match4_positions, models.match4_position);
    fill_positions(long_positions, models.long_position);
}

std::uint32_t ItemPrices::distance_part(std::uint32_t length, std::uint32_t distance) const
{
    const int slot = position_slot(distance);
    if (length == kMatch3Length)
        return match3_positions[slot];
    if (length == kMatch4Length)
        return match4_positions[slot];
    return long_positions[slot];
}

}  // namespace upkit
