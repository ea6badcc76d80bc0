// The decoder's rules are checked where they are relied on: breaking one is
// a fault of our own, which aborts a live build at once instead of decoding
// on from a state no archive can lead to. Death tests, natively.
#include <gtest/gtest.h>

#include "decoder_models.h"
#include "engine_codes.h"
#include "input_stream.h"
#include "lz_window.h"

namespace upkit::test {
namespace {

#ifndef _WIN32

TEST(EngineInvariants, ModelOutOfOrderIsCaughtWhenRescaled)
{
    AdaptiveModel model;
    reset_model(&model, 4, 0);  // cumulatives 4, 3, 2, 1, 0
    AdaptiveModel unordered = model;
    unordered.entries[2].cumulative = unordered.entries[1].cumulative;
    EXPECT_DEATH(rescale_model(&unordered), "assertion failed: model_is_ordered\\(model\\)");
    AdaptiveModel unterminated = model;
    unterminated.entries[4].cumulative = 1;
    EXPECT_DEATH(rescale_model(&unterminated), "assertion failed: model_is_ordered\\(model\\)");

    rescale_model(&model);
    EXPECT_TRUE(model_is_ordered(&model));
}

TEST(EngineInvariants, ModelsHoldBetweenOneAndTheMostSymbols)
{
    AdaptiveModel model;
    EXPECT_DEATH(reset_model(&model, 0, 0), "assertion failed: symbol_count >= 1");
    EXPECT_DEATH(reset_model(&model, kMaxModelSymbols + 1, 0), "assertion failed: symbol_count >= 1");
}

// A window of 512 bytes, as the smallest archive window.
class WindowInvariants : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = buffer_;
        window_size = 512;
        window_mask = 511;
        window_pos = 0;
    }
    void TearDown() override { window = nullptr; }

    BYTE buffer_[512] = {};
};

TEST_F(WindowInvariants, MatchesReachNoFartherThanTheWindowNorRunLongerThanTheLongest)
{
    EXPECT_DEATH(copy_match(513, 3), "assertion failed: distance >= 1 && distance <= window_size");
    EXPECT_DEATH(copy_match(0, 3), "assertion failed: distance >= 1 && distance <= window_size");
    EXPECT_DEATH(copy_match(1, kMaxMatch + 1), "assertion failed: length >= kMinMatch && length <= kMaxMatch");
    EXPECT_DEATH(copy_match(1, 2), "assertion failed: length >= kMinMatch && length <= kMaxMatch");
    copy_match(512, kMaxMatch);  // the whole window back, the longest match
    EXPECT_EQ(window_pos, kMaxMatch);
}

// Checked once a member, where the decoder's state carries over from the
// member before: the hot paths take them for granted.
TEST_F(WindowInvariants, MemberStartsInsideAWindowOfAPowerOfTwo)
{
    window_pos = 512;
    EXPECT_DEATH(decode_member(INVALID_HANDLE_VALUE, 1, ARCSTAT_SKIP, "M"),
                 "assertion failed: window_pos >= 0 && window_pos < window_size");
    window_pos = 0;
    window_size = 500;
    EXPECT_DEATH(decode_member(INVALID_HANDLE_VALUE, 1, ARCSTAT_SKIP, "M"),
                 "assertion failed: window_mask == window_size - 1");
}

TEST_F(WindowInvariants, MemberEndsWithTheIntervalRenormalised)
{
    bit_register = 0x12345601;
    arith_low = 0x4000;  // both in the middle half: one more step was due
    arith_high = 0xBFFF;
    EXPECT_DEATH(decode_member(INVALID_HANDLE_VALUE, 0, ARCSTAT_SKIP, "M"), "assertion failed: arith_low < 0x8000");
    arith_low = 0x3FFF;
    bit_register = 0x12345600;  // the marker gone: no byte to take bits from
    EXPECT_DEATH(decode_member(INVALID_HANDLE_VALUE, 0, ARCSTAT_SKIP, "M"), "assertion failed: bit_register & 0xFF");
}

TEST(EngineInvariants, DecoderTakesOnlyTheWindowsTheReaderAccepts)
{
    EXPECT_DEATH(decoder_setup(kMinWindowBits - 1), "assertion failed: window_bits >= kMinWindowBits");
    EXPECT_DEATH(decoder_setup(kMaxWindowBits + 1), "assertion failed: window_bits >= kMinWindowBits");
}

#endif

}  // namespace
}  // namespace upkit::test
