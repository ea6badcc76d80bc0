#include "decoder_models.h"

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

namespace {

// Bits of the register's input byte not yet taken: the marker's place says
// how many of its eight are gone.
inline unsigned bits_left_in_byte(DWORD reg)
{
    return 8 - static_cast<unsigned>(__builtin_ctz(reg));
}

// Loads the next input byte once the marker has left the low byte.
inline void load_byte_when_used_up(DWORD& reg)
{
    if (!(reg & 0xFF))
        reg = (reg & 0xFFFF0000u) | (static_cast<DWORD>(input_next_byte()) << 8) | 1;
}

// Takes the next n bits into the code word: the whole register moves up, a
// byte at a time at most, and the next input byte is loaded the moment the
// current one is used up, exactly as taking the bits one by one would.
inline void shift_register(DWORD& reg, unsigned n)
{
    while (n) {
        const unsigned left = bits_left_in_byte(reg);
        const unsigned step = n < left ? n : left;
        reg <<= step;
        n -= step;
        load_byte_when_used_up(reg);
    }
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

short arith_target(DWORD total)
{
    DWORD range = static_cast<DWORD>(arith_high - arith_low) + 1;
    DWORD code = bit_register >> 16;
    return static_cast<short>(((code - arith_low + 1) * total - 1) / range);
}

namespace {

// arith_narrow's work, inlined into decode_symbol: the symbol path is the
// decoder's hottest and a call there costs more than the narrowing itself.
inline __attribute__((always_inline)) void narrow_interval(DWORD lo, DWORD hi, DWORD total)
{
    // The interval and register live in locals here; the decoder's globals
    // are read once and written once.
    DWORD low = arith_low;
    DWORD high = arith_high;
    DWORD reg = bit_register;
    const DWORD range = high - low + 1;
    high = (low + divide_by_total(hi * range, total) - 1) & 0xFFFF;
    low = (low + divide_by_total(lo * range, total)) & 0xFFFF;

    // Renormalise. First every leading bit that low and high share leaves at
    // once; after that their top bits differ, and only the middle-half case
    // can shift further: while low reads 01... and high 10..., the second
    // bit leaves and the code word's second bit is flipped, one step for
    // each position from bit 14 down where low has a 1 and high a 0. Steps
    // are taken together, which gives the states that one-bit steps give.
    const DWORD differ = low ^ high;
    if (!(differ & 0x8000)) {
        const unsigned n = differ ? static_cast<unsigned>(__builtin_clz(differ)) - 16 : 16;
        low = (low << n) & 0xFFFF;
        high = ((high << n) | ((1u << n) - 1)) & 0xFFFF;
        shift_register(reg, n);
    }
    const DWORD blocked = ~(low & ~high) & 0x7FFF;
    const unsigned k = blocked ? static_cast<unsigned>(__builtin_clz(blocked << 17)) : 15;
    if (k) {
        reg ^= (((1u << k) - 1) << (15 - k)) << 16;
        low = (low << k) & 0x7FFF;
        high = ((high << k) | ((1u << k) - 1) | 0x8000) & 0xFFFF;
        shift_register(reg, k);
    }
    arith_low = static_cast<WORD>(low);
    arith_high = static_cast<WORD>(high);
    bit_register = reg;
}

}  // namespace

void arith_narrow(DWORD lo, DWORD hi, DWORD total)
{
    narrow_interval(lo, hi, total);
}

namespace {

// Finds the first entry whose successor's cumulative stops the scan, adding
// the increment to every entry on the way. Unrolled by four; every read is
// at or before the end entry, whose cumulative of 0 stops any scan.
template <typename Stops> inline __attribute__((always_inline)) ModelEntry* scan_entries(ModelEntry* p, Stops stops)
{
    for (;;) {
        if (stops(p[1].cumulative))
            return p;
        if (stops(p[2].cumulative)) {
            p[0].cumulative += kModelIncrement;
            return p + 1;
        }
        if (stops(p[3].cumulative)) {
            p[0].cumulative += kModelIncrement;
            p[1].cumulative += kModelIncrement;
            return p + 2;
        }
        if (stops(p[4].cumulative)) {
            p[0].cumulative += kModelIncrement;
            p[1].cumulative += kModelIncrement;
            p[2].cumulative += kModelIncrement;
            return p + 3;
        }
        p[0].cumulative += kModelIncrement;
        p[1].cumulative += kModelIncrement;
        p[2].cumulative += kModelIncrement;
        p[3].cumulative += kModelIncrement;
        p += 4;
    }
}

}  // namespace

short decode_symbol(AdaptiveModel* model)
{
    ModelEntry* p = model->entries;
    const DWORD total = p[0].cumulative;
    // The scan stops at the first cumulative at or below the target,
    // floor(scaled / range). For a code word inside the interval (always, in
    // a sound stream) the target lies below the total, and a cumulative c is
    // at or below it exactly when c * range <= scaled: the scan compares
    // products and no division waits on the decoder's critical path.
    const DWORD range = static_cast<DWORD>(arith_high - arith_low) + 1;
    const DWORD scaled = ((bit_register >> 16) - arith_low + 1) * total - 1;
    if (scaled < total * range) {
        p = scan_entries(p, [=](WORD c) { return c * range <= scaled; });
    } else {
        // A code word outside the interval (only in a damaged stream) can
        // give a negative target, which no cumulative would stop; the end
        // entry's 0 then ends the scan at the last symbol.
        short target = arith_target(total);
        if (target < 0)
            target = 0;
        p = scan_entries(p, [=](WORD c) { return static_cast<short>(c) <= target; });
    }
    const short symbol = static_cast<short>(p[0].symbol);
    const DWORD hi = p[0].cumulative;
    const DWORD lo = p[1].cumulative;
    p[0].cumulative += kModelIncrement;

    narrow_interval(lo, hi, total);

    if (model->entries[0].cumulative > kModelTotalLimit)
        rescale_model(model);
    return symbol;
}

DWORD read_raw_bits(int count)
{
    // Raw bits follow the code word: they come from the top of the low half,
    // as many at a time as the current input byte still holds.
    DWORD reg = bit_register;
    DWORD result = 0;
    unsigned n = static_cast<unsigned>(count > 0 ? count : 0);
    while (n) {
        const unsigned left = bits_left_in_byte(reg);
        const unsigned step = n < left ? n : left;
        const DWORD low_half = reg & 0xFFFF;
        result = (result << step) | (low_half >> (16 - step));
        reg = (reg & 0xFFFF0000u) | ((low_half << step) & 0xFFFF);
        n -= step;
        load_byte_when_used_up(reg);
    }
    bit_register = reg;
    return result;
}
