// A check of platform/invariant.h where it is live: one that holds evaluates
// its condition once and does nothing more; one that fails names its place
// and its condition on stderr and aborts.
#include "invariant.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

TEST(Invariant, HoldingCheckEvaluatesItsConditionOnce)
{
    int evaluations = 0;
    UPKIT_ASSERT(++evaluations == 1);
    EXPECT_EQ(evaluations, 1);
}

TEST(Invariant, FailedCheckAbortsNamingItsPlaceAndCondition)
{
    const int window_size = 512;
    const int window_pos = 512;
    const int line = __LINE__ + 1;
    auto check = [&] { UPKIT_ASSERT(window_pos < window_size); };
    const std::string message =
        "invariant_test\\.cpp:" + std::to_string(line) + ": assertion failed: window_pos < window_size";
    EXPECT_EXIT(check(), ::testing::KilledBySignal(SIGABRT), message);
}

}  // namespace
