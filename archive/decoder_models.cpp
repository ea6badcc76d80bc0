#include "decoder_models.h"

#include "arith_decoding.h"
#include "input_stream.h"
#include "invariant.h"
#include "total_division.h"

constexpr BYTE length_extra_bits[kLengthSlots] = {
    0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0,
};

constexpr BYTE position_extra_bits[kPositionSlots] = {
    0, 0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,
    9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19,
};

namespace {

// How many values the first `slots` slots of a table cover: lengths past
// kMinLongMatch, or distances back.
constexpr DWORD slots_span(const BYTE* extra_bits, int slots)
{
    DWORD span = 0;
    for (int i = 0; i < slots; ++i)
        span += DWORD{1} << extra_bits[i];
    return span;
}

constexpr bool ends_a_position_slot(DWORD distance)
{
    for (int slots = 0; slots <= kPositionSlots; ++slots) {
        if (slots_span(position_extra_bits, slots) == distance)
            return true;
    }
    return false;
}

}  // namespace

static_assert(kModelTotalLimit < kReciprocalTotals, "every total a model codes with is divided through the table");
static_assert(slots_span(length_extra_bits, kLengthSlots) == DWORD{kMaxMatch - kMinLongMatch + 1},
              "the length slots cover every length of a long match, each once");
static_assert(slots_span(position_extra_bits, kPositionSlots) == kMaxDistance,
              "the last position slot ends at the farthest distance");
static_assert(ends_a_position_slot(kMatch3Reach) && ends_a_position_slot(kMatch4Reach),
              "3- and 4-byte matches reach to the end of a slot, so no distance of theirs passes their reach");

DWORD length_base[kLengthSlots];
DWORD position_base[kPositionSlots];

AdaptiveModel selector_model;
AdaptiveModel literal_models[kLiteralModels];
AdaptiveModel length_model;
AdaptiveModel match3_position_model;
AdaptiveModel match4_position_model;
AdaptiveModel long_match_position_model;

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
    // The entries hold at most kMaxModelSymbols, and a model without symbols
    // could code nothing.
    UPKIT_ASSERT(symbol_count >= 1 && symbol_count <= kMaxModelSymbols);
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
    compute_total_reciprocals();
    const int long_slots = position_slots_below(window_size);
    const DWORD match4_reach = kMatch4Reach;
    const DWORD match3_reach = kMatch3Reach;
    const int match4_slots = position_slots_below(window_size < match4_reach ? window_size : match4_reach);
    const int match3_slots = position_slots_below(window_size < match3_reach ? window_size : match3_reach);

    reset_model(&selector_model, kSelectorSymbols, 0);
    for (int k = 0; k < kLiteralModels; ++k)
        reset_model(&literal_models[k], kLiteralModelSymbols, kLiteralModelSymbols * k);
    reset_model(&length_model, kLengthSlots, 0);
    reset_model(&match3_position_model, match3_slots, 0);
    reset_model(&match4_position_model, match4_slots, 0);
    reset_model(&long_match_position_model, long_slots, 0);
}

void rescale_model(AdaptiveModel* model)
{
    // Frequencies are the differences of neighbouring cumulatives, which
    // halving and rebuilding read so. The order is checked here rather than
    // for every symbol: between rescales a symbol only adds to the entries up
    // to its own, which keeps the order and the end entry's 0.
    UPKIT_ASSERT(model_is_ordered(model));
    if (--model->rescales_before_rebuild != 0)
        halve_model(model);
    else
        rebuild_model(model);
    // A symbol keeps a part of the interval (over a quarter of 2^16 wide)
    // only while the total stays far below its width.
    UPKIT_ASSERT(model_is_ordered(model) && model->entries[0].cumulative <= kModelTotalLimit);
}

// The global-state forms, for the stream's users outside the member
// decoder's loop: each loads the state, takes its step and stores it back.

short arith_target(DWORD total)
{
    return arith_target_in(arith_state_load(), total);
}

void arith_narrow(DWORD lo, DWORD hi, DWORD total)
{
    ArithState s = arith_state_load();
    arith_narrow_in(s, lo, hi, total);
    arith_state_store(s);
}

short decode_symbol(AdaptiveModel* model)
{
    ArithState s = arith_state_load();
    const short symbol = decode_symbol_in(s, model);
    arith_state_store(s);
    return symbol;
}

DWORD read_raw_bits(int count)
{
    ArithState s = arith_state_load();
    const DWORD bits = read_raw_bits_in(s, count);
    arith_state_store(s);
    return bits;
}
