// The LZ window and the member decoder.
//
// Items (literals and matches) are placed into one circular window that runs
// on from member to member, so matches may reach back into earlier members.
// The bytes of the member being decoded are flushed to its output file in
// large spans, each byte before the window could overwrite it, and checked
// against the 16-bit check value that follows the member in the stream.
#pragma once

#include "item_format.h"
#include "win32_api.h"

extern BYTE* window;
extern int window_size;
extern int window_mask;
extern int window_pos;
extern int decoder_error;

// Items decoded until the next progress query; runs on across members and
// archives for the life of the process.
extern WORD progress_countdown;
const WORD kProgressInterval = 2048;

// Window bits the decoder accepts. Below 9 a longest match could overwrite
// its own bytes before they are written; above 21 no distance can use the
// extra room.
const unsigned kMinWindowBits = 9;
const unsigned kMaxWindowBits = 21;
static_assert((1u << kMinWindowBits) > static_cast<unsigned>(kMaxMatch),
              "the smallest window holds a longest match besides a byte that waits");
static_assert(1u << kMaxWindowBits == kMaxDistance, "the largest window is as far as a distance reaches");

// Sets up the window (cleared) and models for an archive whose header gives
// these window bits, which must lie within the accepted range. Failures show
// in decoder_error.
void decoder_setup(unsigned window_bits);
void decoder_release();

// Decodes one member of the given size, writing it to out_handle (or only
// checking it when that is INVALID_HANDLE_VALUE). mode is the status notice
// given at every flush. Returns 0 or an engine code.
int decode_member(HANDLE out_handle, int member_size, int mode, const char* member_name);

void copy_match(int distance, int length);
int flush_window();
int write_window_span(int offset, int length);

// Folds bytes into a check value: each byte is XORed into the low eight bits
// and the whole value rotated left by one bit.
WORD update_check_value(WORD check, const BYTE* data, int length);
