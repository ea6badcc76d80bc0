// The multiply-and-shift division by a model total must equal the divide
// instruction for every total the table holds and every numerator the
// decoder can form, including the largest 32-bit values.
#include <gtest/gtest.h>

#include <random>

#include "total_division.h"

namespace {

TEST(TotalDivision, EqualsDivisionForEveryTotal)
{
    // Before the table is filled too: models can be used before any archive
    // set the decoder up.
    for (DWORD d = 1; d < 40; ++d)
        ASSERT_EQ(divide_by_total(0xFFFFFFFFu - d, d), (0xFFFFFFFFu - d) / d) << d;
    compute_total_reciprocals();
    std::mt19937 random(3);
    for (DWORD d = 1; d < kReciprocalTotals + 10; ++d) {
        const DWORD edges[] = {0,          1,           d - 1,           d,           d + 1,      2 * d - 1, 2 * d,
                               0xFFFF * d, 0xFFFFFFFFu, 0xFFFFFFFFu - d, 0x80000000u, 0x7FFFFFFFu};
        for (DWORD n : edges)
            ASSERT_EQ(divide_by_total(n, d), n / d) << n << " / " << d;
        for (int i = 0; i < 2000; ++i) {
            const DWORD n = static_cast<DWORD>(random());
            ASSERT_EQ(divide_by_total(n, d), n / d) << n << " / " << d;
            const DWORD small = n % (0x10000u * d);  // the decoder's range times a cumulative
            ASSERT_EQ(divide_by_total(small, d), small / d) << small << " / " << d;
        }
    }
}

}  // namespace
