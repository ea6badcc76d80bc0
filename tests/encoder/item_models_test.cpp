// The parser prices items by playing them through copies of the models; the
// copies must end exactly where coding the same items leaves the encoder's
// models, or the prices it assumes drift from what it pays.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "item_encoder.h"
#include "item_prices.h"

namespace upkit::test {
namespace {

void expect_same_prices(const ItemModels& a, const ItemModels& b)
{
    const ItemPrices pa(a);
    const ItemPrices pb(b);
    EXPECT_EQ(pa.literals, pb.literals);
    EXPECT_EQ(pa.lengths, pb.lengths);
    EXPECT_EQ(pa.match3_positions, pb.match3_positions);
    EXPECT_EQ(pa.match4_positions, pb.match4_positions);
    EXPECT_EQ(pa.long_positions, pb.long_positions);
}

TEST(ItemModels, PlayingItemsLeavesTheModelsAsCodingThem)
{
    const int window_bits = 18;
    ItemEncoder encoder(window_bits);
    ItemModels played(window_bits);
    std::mt19937 random(11);
    // Enough skewed items to rescale and rebuild every model many times.
    for (int i = 0; i < 200000; ++i) {
        const unsigned kind = random() % 4;
        if (kind == 0) {
            const std::uint8_t byte = static_cast<std::uint8_t>(random() % 7 * 37);
            encoder.literal(byte);
            played.update_literal(byte);
        } else {
            const std::uint32_t length = kind == 1 ? 3 : kind == 2 ? 4 : 5 + random() % 255;
            const std::uint32_t reach = length == 3   ? encoder.limits().max_distance3
                                        : length == 4 ? encoder.limits().max_distance4
                                                      : encoder.limits().max_distance_long;
            const std::uint32_t distance = 1 + static_cast<std::uint32_t>(random() % 40) * (reach / 64);
            encoder.match(length, distance);
            played.update_match(length, distance);
        }
    }
    expect_same_prices(encoder.models(), played);
}

TEST(ItemModels, PricesAreTheModelsShares)
{
    ItemModels models(15);
    for (int i = 0; i < 50; ++i)
        models.update_literal('e');
    models.update_literal('q');
    // The selector: 51 of its 7 + 51 * 8 cumulative went to symbol 'e' >> 6 = 1.
    const double selector_share = (1.0 + 51 * 8) / (7 + 51 * 8);
    const double literal_share = (1.0 + 50 * 8) / (64 + 51 * 8);
    const double bits = -std::log2(selector_share) - std::log2(literal_share);
    EXPECT_NEAR(models.literal_price('e') / 256.0, bits, 0.01);
    // A symbol the model has not seen costs more than one it has.
    EXPECT_GT(models.literal_price('f'), models.literal_price('q'));
}

}  // namespace
}  // namespace upkit::test
