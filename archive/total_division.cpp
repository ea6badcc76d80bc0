#include "total_division.h"

TotalReciprocal total_reciprocals[kReciprocalTotals];

void compute_total_reciprocals()
{
    static bool computed = false;
    if (computed)
        return;
    for (DWORD d = 1; d < kReciprocalTotals; ++d) {
        DWORD l = 0;
        while ((1u << l) < d)
            ++l;
        // floor(2^32 * a / d) for a = 2^l - d < d, in two 16-bit steps so
        // that only 32-bit divisions are needed (no 64-bit division helper).
        const DWORD a = (1u << l) - d;
        const DWORD high = (a << 16) / d;
        const DWORD low = (((a << 16) % d) << 16) / d;
        total_reciprocals[d].multiplier = (high << 16) + low + 1;
        total_reciprocals[d].first_shift = static_cast<BYTE>(l < 1 ? l : 1);
        total_reciprocals[d].second_shift = static_cast<BYTE>(l > 1 ? l - 1 : 0);
    }
    computed = true;
}
