#include "input_stream.h"

#include "engine_codes.h"
#include "invariant.h"

DWORD bit_register;
WORD arith_low;
WORD arith_high;

const BYTE* input_cursor;
int input_remaining;

namespace {

const int kPathCapacity = 512;  // room for a 255-character path to grow
const int kLongestPath = 255;
// A continuation file's name: a dot and at least three digits of its number
// (at most ten) where the extension began, or after the whole path.
static_assert(kPathCapacity >= kLongestPath + 1 + 10 + 1, "a continuation file's name fits");
const int kBlockSize = 16384;
const int kSmallestBlock = 2048;

char input_path[kPathCapacity];
HFILE input_file = HFILE_ERROR;
int input_volume;
BYTE* input_buffer;
int input_buffer_size;
int input_error;

// Records a failure. From now on every byte is 0 and no file is touched.
void fail(int code)
{
    UPKIT_ASSERT(code != 0);  // 0 would read as no failure at all
    input_error = code;
    input_remaining = 0;
    report_error(code, nullptr);
}

void open_current_file()
{
    if (input_error)
        return;
    report_status(ARCSTAT_OPEN, base_name(input_path));
    char* failed_path = input_path;
    for (;;) {
        HFILE file = _lopen(input_path, OF_READ | OF_SHARE_DENY_WRITE);
        if (file != HFILE_ERROR) {
            input_file = file;
            return;
        }
        if (!report_error(ARCERR_OPEN_RETRY, &failed_path))
            break;
    }
    input_error = ARCERR_CANNOT_OPEN;
    input_remaining = 0;
    report_error(ARCERR_CANNOT_OPEN, &failed_path);
}

void close_current_file()
{
    report_status(ARCSTAT_CLOSE, base_name(input_path));
    if (input_file != HFILE_ERROR) {
        _lclose(input_file);
        input_file = HFILE_ERROR;
    }
}

int read_block()
{
    if (input_file == HFILE_ERROR)
        return -1;
    return static_cast<int>(_lread(input_file, input_buffer, static_cast<UINT>(input_buffer_size)));
}

}  // namespace

int input_status()
{
    return input_error;
}

void input_open(const char* path)
{
    input_remaining = 0;
    if (lstrlenA(path) > kLongestPath) {
        fail(ARCERR_NO_MEMORY);
        return;
    }
    for (int size = kBlockSize; size >= kSmallestBlock && !input_buffer; size -= 2048) {
        input_buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(size)));
        input_buffer_size = size;
    }
    if (!input_buffer) {
        fail(ARCERR_NO_MEMORY);
        return;
    }
    lstrcpyA(input_path, path);
    arith_low = 0;
    arith_high = 0xFFFF;
    input_error = 0;
    input_volume = 1;

    open_current_file();
    if (input_error)
        return;

    DWORD b0 = input_next_byte();
    DWORD b1 = input_next_byte();
    DWORD b2 = input_next_byte();
    bit_register = (b0 << 24) | (b1 << 16) | (b2 << 8) | 1;
}

void input_close()
{
    close_current_file();
    if (input_buffer) {
        LocalFree(input_buffer);
        input_buffer = nullptr;
    }
    input_remaining = 0;
}

BYTE input_refill()
{
    // Loops only when a continuation file holds nothing after its sequence
    // number: the next read of that file finds its end and moves on, so no
    // stale byte is ever handed out.
    for (;;) {
        if (input_error) {
            input_remaining = 0;
            return 0;
        }
        report_status(ARCSTAT_READ, base_name(input_path));
        int n = read_block();
        if (n == 0) {
            input_next_volume();
            if (input_error) {
                input_remaining = 0;
                return 0;
            }
        } else if (n < 0) {
            fail(ARCERR_READ);
            return 0;
        } else {
            input_cursor = input_buffer;
            input_remaining = n;
        }
        if (input_remaining > 0)
            break;
    }
    // A byte of the block just read, never one left over from before.
    UPKIT_ASSERT(input_cursor >= input_buffer && input_remaining <= input_buffer + input_buffer_size - input_cursor);
    --input_remaining;
    return *input_cursor++;
}

void input_next_volume()
{
    char* extension = extension_of(input_path);
    close_current_file();
    if (input_error)
        return;
    // The extension begins inside the path the stream was opened with, or just
    // after it: the path never grows past its first continuation name.
    UPKIT_ASSERT(extension - input_path <= kLongestPath + 1);
    if (*extension == '\0')
        *extension++ = '.';
    ++input_volume;
    format_volume_number(extension, input_volume);

    open_current_file();
    int n = read_block();
    if (n < 2) {
        fail(ARCERR_READ);
        return;
    }
    int number = input_buffer[0] | (input_buffer[1] << 8);
    if (number != input_volume) {
        fail(ARCERR_BAD_DATA);
        return;
    }
    input_cursor = input_buffer + 2;
    input_remaining = n - 2;
}

void input_read_bytes(BYTE* destination, int count)
{
    for (int i = 0; i < count; ++i) {
        destination[i] = static_cast<BYTE>(bit_register >> 24);
        DWORD next = input_next_byte();
        bit_register = ((bit_register << 8) & 0xFFFF0000u) | (next << 8) | 1;
    }
}

const char* base_name(const char* path)
{
    const char* start = path;
    for (const char* p = path; *p && *p != ' ';) {
        char c = *p;
        p = CharNextA(p);
        if (c == '\\' || c == ':')
            start = p;
    }
    return start;
}

char* base_name(char* path)
{
    return const_cast<char*>(base_name(static_cast<const char*>(path)));
}

const char* extension_of(const char* path)
{
    const char* p = base_name(path);
    while (*p && *p != '.')
        p = CharNextA(p);
    return *p ? p + 1 : p;
}

char* extension_of(char* path)
{
    return const_cast<char*>(extension_of(static_cast<const char*>(path)));
}

void format_volume_number(char* destination, int number)
{
    char digits[12];
    int n = 0;
    unsigned value = static_cast<unsigned>(number);
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    while (n < 3)
        digits[n++] = '0';
    while (n)
        *destination++ = digits[--n];
    *destination = '\0';
}
