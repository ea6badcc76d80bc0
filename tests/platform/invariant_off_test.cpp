// Compiled as the kit is, with UPKIT_NO_ASSERT: a check is gone, its
// condition never evaluated, so it can neither fail nor change anything.
#define UPKIT_NO_ASSERT
#include "invariant.h"

#include <gtest/gtest.h>

namespace {

TEST(InvariantCompiledOut, ConditionIsNeverEvaluated)
{
    int evaluations = 0;
    UPKIT_ASSERT(++evaluations == 1);
    UPKIT_ASSERT(++evaluations < 0);
    EXPECT_EQ(evaluations, 0);
}

}  // namespace
