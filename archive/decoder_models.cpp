#include "decoder_models.h"

#include "input_stream.h"

const BYTE length_extra_bits[kLengthSlots] = {
    0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0,
};

const BYTE position_extra_bits[kPositionSlots] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9,
    9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19,
};

DWORD length_base[kLengthSlots];
DWORD position_base[kPositionSlots];

AdaptiveModel selector_model;
AdaptiveModel literal_models[4];
AdaptiveModel length_model;
AdaptiveModel match3_position_model;
AdaptiveModel match4_position_model;
AdaptiveModel long_match_position_model;

namespace {

// Takes the next bit into the code word: the whole register moves up one, and
// once the current byte is used up (marker 0) the next one is loaded at once.
inline void shift_register()
{
    bit_register <<= 1;
    if (!(bit_register & 0xFF))
        bit_register = (bit_register & 0xFFFF0000u) | (static_cast<DWORD>(input_next_byte()) << 8) | 1;
}

}  // namespace

void compute_slot_bases()
{
    length_base[0] = 0;
    for (int i = 1; i < kLengthSlots; ++i)
        length_base[i] = length_base[i - 1] + (1u << length_extra_bits[i - 1]);
    position_base[0] = 0;
    for (int i = 1; i < kPositionSlots; ++i)
        position_base[i] = position_base[i - 1] + (1u << position_extra_bits[i - 1]);
}

namespace {

void halve_model(AdaptiveModel* model)
{
    ModelEntry* e = model->entries;
    for (int i = model->symbol_count - 1; i >= 0; --i) {
        e[i].cumulative = static_cast<WORD>(e[i].cumulative >> 1);
        if (e[i].cumulative <= e[i + 1].cumulative)
            e[i].cumulative = static_cast<WORD>(e[i + 1].cumulative + 1);
    }
}

void rebuild_model(AdaptiveModel* model)
{
    ModelEntry* e = model->entries;
    const int n = model->symbol_count;
    model->rescales_before_rebuild = 50;
    // Cumulatives to halved frequencies, rounded up so none becomes 0. Entry
    // i+1 still holds its cumulative when entry i is converted.
    for (int i = 0; i < n; ++i) {
        WORD frequency = static_cast<WORD>(e[i].cumulative - e[i + 1].cumulative);
        e[i].cumulative = static_cast<WORD>((frequency + 1) >> 1);
    }
    // This exact exchange sort fixes the order among equal frequencies, which
    // the encoder must reproduce; it is not a stable order.
    for (int i = 0; i < n - 1; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (e[j].cumulative > e[i].cumulative) {
                ModelEntry t = e[i];
                e[i] = e[j];
                e[j] = t;
            }
        }
    }
    for (int i = n - 1; i >= 0; --i)
        e[i].cumulative = static_cast<WORD>(e[i].cumulative + e[i + 1].cumulative);
}

}  // namespace

int position_slots_below(DWORD limit)
{
    int n = 0;
    while (n < kPositionSlots && position_base[n] < limit)
        ++n;
    return n;
}

void reset_model(AdaptiveModel* model, int symbol_count, int first_symbol)
{
    model->symbol_count = symbol_count;
    model->rescales_before_rebuild = 4;
    for (int n = 0; n <= symbol_count; ++n) {
        model->entries[n].cumulative = static_cast<WORD>(symbol_count - n);
        model->entries[n].symbol = static_cast<WORD>(first_symbol + n);
    }
}

void initialise_models(DWORD window_size)
{
    compute_slot_bases();
    const int long_slots = position_slots_below(window_size);
    const int match4_slots = position_slots_below(window_size < kMatch4Reach ? window_size : kMatch4Reach);
    const int match3_slots = position_slots_below(window_size < kMatch3Reach ? window_size : kMatch3Reach);

    reset_model(&selector_model, 7, 0);
    for (int k = 0; k < 4; ++k)
        reset_model(&literal_models[k], 64, 64 * k);
    reset_model(&length_model, kLengthSlots, 0);
    reset_model(&match3_position_model, match3_slots, 0);
    reset_model(&match4_position_model, match4_slots, 0);
    reset_model(&long_match_position_model, long_slots, 0);
}

void rescale_model(AdaptiveModel* model)
{
    if (--model->rescales_before_rebuild != 0)
        halve_model(model);
    else
        rebuild_model(model);
}

short arith_target(DWORD total)
{
    DWORD range = static_cast<DWORD>(arith_high - arith_low) + 1;
    DWORD code = bit_register >> 16;
    return static_cast<short>(((code - arith_low + 1) * total - 1) / range);
}

void arith_narrow(DWORD lo, DWORD hi, DWORD total)
{
    DWORD range = static_cast<DWORD>(arith_high - arith_low) + 1;
    arith_high = static_cast<WORD>(arith_low + (hi * range) / total - 1);
    arith_low = static_cast<WORD>(arith_low + (lo * range) / total);
    for (;;) {
        if ((arith_low ^ arith_high) & 0x8000) {
            // Straddling the middle: only the middle-half case can shift.
            if (!((arith_low & 0x4000) && !(arith_high & 0x4000)))
                return;
            bit_register ^= 0x40000000u;
            arith_low &= 0x3FFF;
            arith_high |= 0x4000;
        }
        arith_low = static_cast<WORD>(arith_low << 1);
        arith_high = static_cast<WORD>((arith_high << 1) | 1);
        shift_register();
    }
}

short decode_symbol(AdaptiveModel* model)
{
    ModelEntry* p = model->entries;
    const DWORD total = p[0].cumulative;
    short target = arith_target(total);
    // A code word outside the interval (only in a damaged stream) can give a
    // negative target, which no cumulative would stop; the end entry's 0 then
    // ends the scan at the last symbol, so the scan never leaves the model.
    if (target < 0)
        target = 0;

    // Find the first entry whose successor's cumulative is at or below the
    // target, adding the increment to every entry on the way. Unrolled by
    // four; every read is at or before the end entry, which stops the scan.
    for (;;) {
        if (static_cast<short>(p[1].cumulative) <= target)
            break;
        if (static_cast<short>(p[2].cumulative) <= target) {
            p[0].cumulative += kModelIncrement;
            p += 1;
            break;
        }
        if (static_cast<short>(p[3].cumulative) <= target) {
            p[0].cumulative += kModelIncrement;
            p[1].cumulative += kModelIncrement;
            p += 2;
            break;
        }
        if (static_cast<short>(p[4].cumulative) <= target) {
            p[0].cumulative += kModelIncrement;
            p[1].cumulative += kModelIncrement;
            p[2].cumulative += kModelIncrement;
            p += 3;
            break;
        }
        p[0].cumulative += kModelIncrement;
        p[1].cumulative += kModelIncrement;
        p[2].cumulative += kModelIncrement;
        p[3].cumulative += kModelIncrement;
        p += 4;
    }
    const short symbol = static_cast<short>(p[0].symbol);
    const DWORD hi = p[0].cumulative;
    const DWORD lo = p[1].cumulative;
    p[0].cumulative += kModelIncrement;

    arith_narrow(lo, hi, total);

    if (model->entries[0].cumulative > kModelTotalLimit)
        rescale_model(model);
    return symbol;
}

DWORD read_raw_bits(int count)
{
    DWORD result = 0;
    while (count-- > 0) {
        result = (result << 1) | ((bit_register >> 15) & 1);
        bit_register = (bit_register & 0xFFFF0000u) | ((bit_register << 1) & 0xFFFFu);
        if (!(bit_register & 0xFF))
            bit_register = (bit_register & 0xFFFF0000u) | (static_cast<DWORD>(input_next_byte()) << 8) | 1;
    }
    return result;
}
