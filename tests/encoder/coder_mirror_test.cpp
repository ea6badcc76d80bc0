// The encoder's models and arithmetic coder against the engine's decoder,
// symbol by symbol, with raw bits in between.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "arith_encoder.h"
#include "decoder_models.h"
#include "engine_codes.h"
#include "input_stream.h"
#include "item_encoder.h"
#include "model_coder.h"
#include "test_files.h"

namespace upkit::test {
namespace {

struct Step {
    int model;  // index into the models, or -1 for raw bits
    std::uint32_t value;
    int bits;  // raw bits only
};

// Skewed choices make the models rescale, halve and rebuild many times.
std::vector<Step> random_steps(std::uint32_t seed, const std::vector<int>& sizes, int count)
{
    std::mt19937 rng(seed);
    std::vector<Step> steps;
    for (int i = 0; i < count; ++i) {
        if (rng() % 5 == 0) {
            const int bits = static_cast<int>(rng() % 20);
            steps.push_back({-1, bits ? static_cast<std::uint32_t>(rng()) & ((1u << bits) - 1) : 0, bits});
        } else {
            const int model = static_cast<int>(rng() % sizes.size());
            const int n = sizes[static_cast<std::size_t>(model)];
            std::geometric_distribution<int> skew(0.3);
            steps.push_back({model, static_cast<std::uint32_t>(std::min(skew(rng), n - 1)), 0});
        }
    }
    return steps;
}

// Decodes the steps' kinds from the stream and returns the values read.
std::vector<std::uint32_t> decode_steps(const fs::path& stream, const std::vector<int>& sizes,
                                        const std::vector<Step>& steps)
{
    std::vector<AdaptiveModel> models(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i)
        reset_model(&models[i], sizes[i], 0);
    input_open(engine_path(stream).c_str());
    std::vector<std::uint32_t> values;
    for (const Step& s : steps) {
        if (s.model < 0)
            values.push_back(read_raw_bits(s.bits));
        else
            values.push_back(static_cast<std::uint32_t>(decode_symbol(&models[static_cast<std::size_t>(s.model)])));
    }
    return values;
}

class CoderMirror : public ::testing::TestWithParam<std::uint32_t> {
protected:
    void TearDown() override { input_close(); }
    TempDir dir_;
};

TEST_P(CoderMirror, DecoderReadsBackEverySymbolAndRawValue)
{
    const std::vector<int> sizes = {1, 2, 7, 27, 64};
    const std::vector<Step> steps = random_steps(GetParam(), sizes, 60000);

    ArithEncoder coder;
    std::vector<ModelCoder> models(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i)
        models[i].reset(sizes[i], 0);
    std::vector<std::uint32_t> expected;
    for (const Step& s : steps) {
        if (s.model < 0)
            coder.raw_bits(s.value, s.bits);
        else
            models[static_cast<std::size_t>(s.model)].encode(coder, static_cast<int>(s.value));
        expected.push_back(s.value);
    }
    const std::vector<std::uint8_t> stream = coder.finish();
    write_file(dir_ / "S.BIN", stream);

    EXPECT_EQ(decode_steps(dir_ / "S.BIN", sizes, steps), expected);
    EXPECT_EQ(input_status(), 0);
    input_close();

    // The stream ends with the last byte the decoder fetches: one less and
    // the decoder runs off the end.
    write_file(dir_ / "S.BIN", std::span(stream).first(stream.size() - 1));
    decode_steps(dir_ / "S.BIN", sizes, steps);
    EXPECT_EQ(input_status(), ARCERR_READ);
}

INSTANTIATE_TEST_SUITE_P(Seeds, CoderMirror, ::testing::Values(1u, 2u, 3u));

TEST(Slots, PositionAndLengthSlotsCoverTheirRanges)
{
    compute_slot_bases();
    for (std::uint32_t d = 1; d <= (1u << 21); ++d) {
        const int slot = position_slot(d);
        ASSERT_LE(position_base[slot], d - 1) << d;
        ASSERT_LT(d - 1 - position_base[slot], 1u << position_extra_bits[slot]) << d;
    }
    for (std::uint32_t length = 5; length <= 259; ++length) {
        const int slot = length_slot(length);
        ASSERT_LE(length_base[slot], length - 5) << length;
        ASSERT_LT(length - 5 - length_base[slot], 1u << length_extra_bits[slot]) << length;
    }
}

TEST(Slots, MatchReachPerWindow)
{
    const MatchLimits w15(15), w18(18), w10(10);
    EXPECT_EQ(w15.max_distance3, 4096u);
    EXPECT_EQ(w15.max_distance4, 32768u);
    EXPECT_EQ(w15.max_distance_long, 32768u);
    EXPECT_EQ(w18.max_distance4, 262144u);
    EXPECT_EQ(w10.max_distance3, 1024u);
    EXPECT_EQ(w15.codable_length(3, 4097), 0u);
    EXPECT_EQ(w15.codable_length(4, 4097), 4u);
    EXPECT_EQ(w15.codable_length(300, 32768), 259u);
    EXPECT_EQ(w15.codable_length(300, 32769), 0u);
    EXPECT_EQ(w18.codable_length(4, 262145), 0u);
    EXPECT_EQ(w18.codable_length(4, 200), 4u);
}

}  // namespace
}  // namespace upkit::test
