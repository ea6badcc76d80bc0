// Division by a model's total through a multiplication.
//
// Narrowing the interval divides twice by the model's total for every
// decoded symbol, and a divide instruction is the slowest step on that path.
// Totals are small (a model is rescaled before its total passes
// kModelTotalLimit), so a table holds, for each total d, a multiplier and
// two shifts that give floor(n / d) exactly for every 32-bit n: with
// l = ceil(log2 d), m = floor(2^32 * (2^l - d) / d) + 1 and t = (m * n) >> 32,
// floor(n / d) = (t + ((n - t) >> min(l, 1))) >> max(l - 1, 0).
#pragma once

#include "win32_api.h"

struct TotalReciprocal {
    DWORD multiplier;
    BYTE first_shift;
    BYTE second_shift;
};

// Totals below this come from the table; any other is divided directly.
const DWORD kReciprocalTotals = 4096;

extern TotalReciprocal total_reciprocals[kReciprocalTotals];

// Fills the table (once per process; later calls return at once).
void compute_total_reciprocals();

// Any total works at any time: before the table is filled (its
// multipliers are never 0 once it is) the division is done directly.
inline DWORD divide_by_total(DWORD n, DWORD total)
{
    if (total >= kReciprocalTotals || total_reciprocals[total].multiplier == 0)
        return n / total;
    const TotalReciprocal& r = total_reciprocals[total];
    const DWORD t = static_cast<DWORD>((static_cast<unsigned long long>(r.multiplier) * n) >> 32);
    return (t + ((n - t) >> r.first_shift)) >> r.second_shift;
}
