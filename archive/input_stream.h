// The archive input stream: one process-wide reader of the open archive's
// bytes, block by block through one buffer, running on into continuation files
// ("NAME.002", "NAME.003", ...) when a file is exhausted.
//
// After any failure the stream records its code (input_status) and from then
// on yields only zero bytes; there is no other end-of-data signal.
#pragma once

#include "win32_api.h"

// The bit register shared with the decoder:
//   bits 31..16  the arithmetic decoder's code word
//   bits 15..8   the input byte whose bits are being taken, top bit next
//   bits  7..0   a marker, 1 while that byte is fresh, shifted once per bit
//                taken; it reaches 0 when all eight bits are gone.
extern DWORD bit_register;

// The arithmetic decoder's interval, [arith_low, arith_high]. The input stream
// resets it when an archive is opened; it then runs on across all members.
extern WORD arith_low;
extern WORD arith_high;

// Buffer cursor, exposed only so that input_next_byte can be inlined.
extern const BYTE* input_cursor;
extern int input_remaining;

void input_open(const char* path);
void input_close();
int input_status();

BYTE input_refill();

// The next byte of archive data. On the decoder's innermost path: a decrement,
// a test and a pointer step; the call happens only at the end of a block.
inline BYTE input_next_byte()
{
    if (--input_remaining >= 0)
        return *input_cursor++;
    return input_refill();
}

// Byte-aligned read through the bit register, for the header and directory.
void input_read_bytes(BYTE* destination, int count);

void input_next_volume();

// Where the last component of a path begins. The walk treats backslash and
// colon as separators and stops at the first space.
const char* base_name(const char* path);
char* base_name(char* path);

// Just after the first dot of the base name, or the path's end without one.
const char* extension_of(const char* path);
char* extension_of(char* path);

// Writes a continuation sequence number with at least three digits and a NUL.
void format_volume_number(char* destination, int number);
