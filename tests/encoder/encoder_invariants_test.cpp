// The encoder mirrors the decoder's rules and checks them where it relies on
// them, so that a fault of its own aborts a live build instead of writing an
// archive the decoder reads differently. Death tests, natively.
#include <gtest/gtest.h>

#include "arith_encoder.h"
#include "decoder_models.h"
#include "item_encoder.h"

namespace upkit::test {
namespace {

#ifndef _WIN32

TEST(EncoderInvariants, CodedIntervalIsASymbolsPartOfATotalWithinTheLimit)
{
    ArithEncoder coder;
    EXPECT_DEATH(coder.encode(0, 1, kModelTotalLimit + 1), "assertion failed: lo < hi && hi <= total");
    EXPECT_DEATH(coder.encode(2, 2, 10), "assertion failed: lo < hi && hi <= total");
    EXPECT_DEATH(coder.encode(0, 11, 10), "assertion failed: lo < hi && hi <= total");
    coder.encode(0, kModelTotalLimit, kModelTotalLimit);
}

TEST(EncoderInvariants, SlotsExistOnlyForTheLengthsAndDistancesOfTheFormat)
{
    EXPECT_EQ(length_slot(kMinLongMatch), 0);
    EXPECT_EQ(length_slot(kMaxMatch), kLengthSlots - 1);
    EXPECT_DEATH(length_slot(kMaxMatch + 1), "assertion failed: length >= kMinLongMatch && length <= kMaxMatch");
    EXPECT_DEATH(length_slot(kMatch4Length), "assertion failed: length >= kMinLongMatch && length <= kMaxMatch");

    EXPECT_EQ(position_slot(kMaxDistance), kPositionSlots - 1);
    EXPECT_DEATH(position_slot(kMaxDistance + 1), "assertion failed: slot < kPositionSlots");
    EXPECT_DEATH(position_slot(0), "assertion failed: slot < kPositionSlots");
}

#endif

}  // namespace
}  // namespace upkit::test
