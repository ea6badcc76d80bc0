// The arithmetic decoder's steps, inline, over a state the caller keeps.
//
// The decoder's interval and bit register are globals (input_stream.h), read
// and written by the stream's opening, its byte-aligned reads and the tests.
// The member decoder copies them into an ArithState for as long as it
// decodes items and copies them back when it stops: held in locals, the state
// stays in registers from one symbol to the next instead of going through
// memory between every two, which is the decoder's critical path.
#pragma once

#include "decoder_models.h"
#include "input_stream.h"
#include "total_division.h"

// The host tools inline every step of a symbol into the item loop, so that
// nothing of the state goes through memory. The kit lets the compiler choose:
// the copies would make every kit about 7 KB larger for a tenth less decoding
// time (32-bit, measured under Wine); a kit decodes as fast as it did before
// the state moved into locals.
#ifdef UPKIT_KIT_RUNTIME
#define ARITH_STEP inline
#else
#define ARITH_STEP inline __attribute__((always_inline))
#endif

struct ArithState {
    DWORD low;
    DWORD high;
    DWORD reg;  // the bit register
};

inline ArithState arith_state_load()
{
    ArithState s = {arith_low, arith_high, bit_register};
    return s;
}

inline void arith_state_store(const ArithState& s)
{
    arith_low = static_cast<WORD>(s.low);
    arith_high = static_cast<WORD>(s.high);
    bit_register = s.reg;
}

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

// The slot of the model interval that the code word points into, as a signed
// 16-bit value. Only meaningful for a code word inside the interval.
inline short arith_target_in(const ArithState& s, DWORD total)
{
    const DWORD range = s.high - s.low + 1;
    const DWORD code = s.reg >> 16;
    return static_cast<short>(((code - s.low + 1) * total - 1) / range);
}

// Narrows the interval to [lo, hi) of total and renormalises, taking bits
// from the register.
inline __attribute__((always_inline)) void arith_narrow_in(ArithState& s, DWORD lo, DWORD hi, DWORD total)
{
    DWORD low = s.low;
    DWORD high = s.high;
    DWORD reg = s.reg;
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
    s.low = low;
    s.high = high;
    s.reg = reg;
}

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

// Decodes one symbol of the model and adapts the model to it.
ARITH_STEP short decode_symbol_in(ArithState& s, AdaptiveModel* model)
{
    ModelEntry* p = model->entries;
    const DWORD total = p[0].cumulative;
    // The scan stops at the first cumulative at or below the target,
    // floor(scaled / range). For a code word inside the interval (always, in
    // a sound stream) the target lies below the total, and a cumulative c is
    // at or below it exactly when c * range <= scaled: the scan compares
    // products and no division waits on the decoder's critical path.
    const DWORD range = s.high - s.low + 1;
    const DWORD scaled = ((s.reg >> 16) - s.low + 1) * total - 1;
    if (scaled < total * range) {
        p = scan_entries(p, [=](WORD c) { return c * range <= scaled; });
    } else {
        // A code word outside the interval (only in a damaged stream) can
        // give a negative target, which no cumulative would stop; the end
        // entry's 0 then ends the scan at the last symbol.
        short target = arith_target_in(s, total);
        if (target < 0)
            target = 0;
        p = scan_entries(p, [=](WORD c) { return static_cast<short>(c) <= target; });
    }
    const short symbol = static_cast<short>(p[0].symbol);
    const DWORD hi = p[0].cumulative;
    const DWORD lo = p[1].cumulative;
    p[0].cumulative += kModelIncrement;

    arith_narrow_in(s, lo, hi, total);

    if (model->entries[0].cumulative > kModelTotalLimit)
        rescale_model(model);
    return symbol;
}

// The next `count` raw bits, which follow the code word: they come from the
// top of the low half, as many at a time as the current input byte still
// holds.
inline DWORD read_raw_bits_in(ArithState& s, int count)
{
    DWORD reg = s.reg;
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
    s.reg = reg;
    return result;
}
