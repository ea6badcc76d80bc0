#include "lz_window.h"

#include "arith_decoding.h"
#include "decoder_models.h"
#include "engine_codes.h"
#include "input_stream.h"
#include "invariant.h"
#include "output_files.h"

BYTE* window;
int window_size;
int window_mask;
int window_pos;
int decoder_error;
WORD progress_countdown = kProgressInterval;

namespace {

// The member being decoded.
HANDLE out_handle = INVALID_HANDLE_VALUE;
int remaining;
int member_mode;
const char* member_name;
int flush_start;
int flush_threshold;
WORD check_value;

// A flush is due once `remaining` is at or below the threshold, that is once
// window_size - kMaxMatch bytes wait: the next item could otherwise overwrite
// a byte that has not been written yet.
void set_flush_threshold()
{
    long long threshold = static_cast<long long>(remaining) - window_size + kMaxMatch;
    const long long lowest = -0x7FFFFFFFLL - 1;
    flush_threshold = static_cast<int>(threshold < lowest ? lowest : threshold);
}

// An ARITH_STEP like decode_symbol_in: the host tools inline it, so that the
// arithmetic state stays in registers through a whole item.
ARITH_STEP int decode_distance(ArithState& s, AdaptiveModel* model)
{
    const int slot = decode_symbol_in(s, model);
    return static_cast<int>(position_base[slot] + read_raw_bits_in(s, position_extra_bits[slot]) + 1);
}

inline void decode_literal(ArithState& s, int literal_model)
{
    remaining -= 1;
    window[window_pos] = static_cast<BYTE>(decode_symbol_in(s, &literal_models[literal_model]));
    window_pos = (window_pos + 1) & window_mask;
}

inline void decode_match3(ArithState& s)
{
    remaining -= kMatch3Length;
    copy_match(decode_distance(s, &match3_position_model), kMatch3Length);
}

inline void decode_match4(ArithState& s)
{
    remaining -= kMatch4Length;
    copy_match(decode_distance(s, &match4_position_model), kMatch4Length);
}

inline void decode_long_match(ArithState& s)
{
    const int slot = decode_symbol_in(s, &length_model);
    const int length =
        static_cast<int>(length_base[slot] + read_raw_bits_in(s, length_extra_bits[slot]) + kMinLongMatch);
    remaining -= length;
    copy_match(decode_distance(s, &long_match_position_model), length);
}

inline void decode_item(ArithState& s)
{
    const int selector = decode_symbol_in(s, &selector_model);
    switch (selector) {
    case kSelectMatch3:
        decode_match3(s);
        break;
    case kSelectMatch4:
        decode_match4(s);
        break;
    case kSelectLong:
        decode_long_match(s);
        break;
    default:
        decode_literal(s, selector);
        break;
    }
}

}  // namespace

void decoder_setup(unsigned window_bits)
{
    // The reader refuses any other: a smaller window could not hold what
    // waits to be written, and distances cannot reach farther.
    UPKIT_ASSERT(window_bits >= kMinWindowBits && window_bits <= kMaxWindowBits);
    decoder_release();
    decoder_error = input_status();
    window_size = 1 << window_bits;
    window_mask = window_size - 1;
    window_pos = 0;
    initialise_models(static_cast<DWORD>(window_size));
    // Cleared, so that a damaged stream reaching before the first byte still
    // decodes to the same bytes every time.
    window = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(window_size)));
    if (!window)
        decoder_error = ARCERR_NO_MEMORY;
}

void decoder_release()
{
    if (window) {
        GlobalFree(window);
        window = nullptr;
    }
}

void copy_match(int distance, int length)
{
    // The slots reach back to the window's size at most, and the flushes
    // leave room for the longest match only.
    UPKIT_ASSERT(distance >= 1 && distance <= window_size);
    UPKIT_ASSERT(length >= kMinMatch && length <= kMaxMatch);
    int src = (window_pos - distance) & window_mask;
    int dst = window_pos;
    window_pos = (window_pos + length) & window_mask;
    if (src + length <= window_size && dst + length <= window_size) {
        // Neither side wraps. In increasing order, so a distance shorter than
        // the length repeats the last `distance` bytes: four at a time only
        // when no byte of a group is written before it is read.
        BYTE* to = window + dst;
        const BYTE* from = window + src;
        int n = length;
        if (distance >= 4) {
            for (; n >= 4; n -= 4) {
                DWORD group;
                __builtin_memcpy(&group, from, 4);
                __builtin_memcpy(to, &group, 4);
                to += 4;
                from += 4;
            }
        }
        for (; n >= 2; n -= 2) {
            to[0] = from[0];
            to[1] = from[1];
            to += 2;
            from += 2;
        }
        if (n)
            *to = *from;
        return;
    }
    for (int i = 0; i < length; ++i) {
        window[dst] = window[src];
        dst = (dst + 1) & window_mask;
        src = (src + 1) & window_mask;
    }
}

WORD update_check_value(WORD check, const BYTE* data, int length)
{
    // Byte by byte the rule is v = rotl16(v ^ byte, 1). Over eight bytes that
    // is v = rotl16(v, 8) ^ (b0 << 8) ^ (b1 << 7) ^ ... ^ (b7 << 1): no byte's
    // term wraps round the 16 bits, and the terms do not depend on one
    // another, so only the rotation waits on the value before it.
    unsigned v = check;
    int i = 0;
    for (; i + 8 <= length; i += 8) {
        const BYTE* b = data + i;
        const unsigned terms = ((static_cast<unsigned>(b[0]) << 8) ^ (static_cast<unsigned>(b[1]) << 7)) ^
                               ((static_cast<unsigned>(b[2]) << 6) ^ (static_cast<unsigned>(b[3]) << 5)) ^
                               ((static_cast<unsigned>(b[4]) << 4) ^ (static_cast<unsigned>(b[5]) << 3)) ^
                               ((static_cast<unsigned>(b[6]) << 2) ^ (static_cast<unsigned>(b[7]) << 1));
        v = (((v << 8) | (v >> 8)) & 0xFFFF) ^ terms;
    }
    for (; i < length; ++i) {
        v ^= data[i];
        v = ((v << 1) | (v >> 15)) & 0xFFFF;
    }
    return static_cast<WORD>(v);
}

int write_window_span(int offset, int length)
{
    UPKIT_ASSERT(offset >= 0 && length >= 0 && length <= window_size - offset);  // inside the window
    if (length == 0)
        return 0;
    if (out_handle != INVALID_HANDLE_VALUE) {
        int written = write_output(out_handle, window + offset, length);
        if (written < length) {
            decoder_error = ARCERR_WRITE;
            const char* name = member_name;
            report_error(ARCERR_WRITE, &name);
            return -1;
        }
    }
    check_value = update_check_value(check_value, window + offset, length);
    return 0;
}

int flush_window()
{
    // Fewer than window_size - kMaxMatch bytes waited before the last item,
    // which added at most kMaxMatch: the window still holds every byte that
    // waits, and none was overwritten.
    UPKIT_ASSERT(static_cast<long long>(remaining) + kMaxMatch > flush_threshold);
    if (window_pos == flush_start)
        return 0;
    report_status(member_mode, member_name);
    if (window_pos > flush_start) {
        if (write_window_span(flush_start, window_pos - flush_start))
            return -1;
    } else {
        // The waiting bytes wrap around the window's end: its tail first.
        if (write_window_span(flush_start, window_size - flush_start))
            return -1;
        if (write_window_span(0, window_pos))
            return -1;
    }
    flush_start = window_pos;
    set_flush_threshold();
    return 0;
}

namespace {

// Decodes items until the member's bytes are all placed, flushing the window
// as it fills. Returns 0, or the code the member ends with when it stops
// early. The arithmetic state is held in locals meanwhile (arith_decoding.h)
// and is back in the globals on every return.
int decode_items(DWORD size)
{
    ArithState s = arith_state_load();
    int stopped = 0;
    while (remaining > 0) {
        if (--progress_countdown == 0) {
            if (!query_progress(size - static_cast<DWORD>(remaining), size)) {
                stopped = ARCERR_CANCELLED;
                break;
            }
            progress_countdown = kProgressInterval;
        }
        decode_item(s);
        if (remaining > flush_threshold)
            continue;
        // Nearly a window's worth waits. A failed input stream has been
        // feeding zeros; stop here instead of writing them.
        if (input_status()) {
            decoder_error = input_status();
            stopped = decoder_error;
            break;
        }
        if (flush_window()) {
            decoder_error = ARCERR_FLUSH;
            stopped = ARCERR_FLUSH;
            break;
        }
    }
    arith_state_store(s);
    return stopped;
}

}  // namespace

int decode_member(HANDLE handle, int member_size, int mode, const char* name)
{
    const DWORD size = static_cast<DWORD>(member_size);
    if (!query_progress(0, size))
        return ARCERR_CANCELLED;

    // Positions wrap by masking, which needs a window of a power of two.
    UPKIT_ASSERT(window_mask == window_size - 1 && (window_size & window_mask) == 0);
    UPKIT_ASSERT(window_pos >= 0 && window_pos < window_size);
    check_value = 0;
    member_mode = mode;
    member_name = name;
    out_handle = handle;
    remaining = member_size;
    flush_start = window_pos;
    set_flush_threshold();

    const int stopped = decode_items(size);
    if (stopped)
        return stopped;

    if (remaining < 0) {
        // The last match ran past the member's end.
        decoder_error = ARCERR_BAD_DATA;
        report_error(ARCERR_BAD_DATA, nullptr);
        return ARCERR_BAD_DATA;
    }
    if (flush_window()) {
        decoder_error = ARCERR_WRITE;
        return ARCERR_WRITE;
    }
    // Each symbol leaves the interval renormalised, over a quarter of 2^16
    // wide, and the register with its marker; the check value's bits and the
    // next member depend on both.
    UPKIT_ASSERT(arith_low < 0x8000 && arith_high >= 0x8000 && (arith_low < 0x4000 || arith_high >= 0xC000));
    UPKIT_ASSERT(bit_register & 0xFF);
    if (read_raw_bits(16) != check_value) {
        decoder_error = ARCERR_CHECKSUM;
        report_error(ARCERR_CHECKSUM, nullptr);
        return ARCERR_CHECKSUM;
    }
    if (!query_progress(size, size))
        return ARCERR_CANCELLED;
    return 0;
}
