#include "archive_reader.h"

#include "input_stream.h"
#include "lz_window.h"
#include "output_files.h"

namespace {

const int kHeaderSize = 8;
const int kNewestVersionA = 0;
const int kLowestVersionB = 90;

DWORD read_dword()
{
    BYTE b[4];
    input_read_bytes(b, 4);
    return static_cast<DWORD>(b[0]) | (static_cast<DWORD>(b[1]) << 8) | (static_cast<DWORD>(b[2]) << 16) |
           (static_cast<DWORD>(b[3]) << 24);
}

WORD read_word()
{
    BYTE b[2];
    input_read_bytes(b, 2);
    return static_cast<WORD>(b[0] | (b[1] << 8));
}

}  // namespace

ArchiveReader::ArchiveReader()
    : status(0)
    , version_a(0)
    , version_b(0)
    , count(0)
    , window_bits(0)
    , cursor(0)
    , entries(nullptr)
{
}

ArchiveReader::~ArchiveReader()
{
    // Only our own registration: clearing another reader's would let a third
    // reader open over the shared engine state while that one is still in use.
    if (current_receiver == this)
        current_receiver = nullptr;
}

int ArchiveReader::Open(const char* path)
{
    if (current_receiver) {
        status = ARCERR_ALREADY_OPEN;
        OnError(ARCERR_ALREADY_OPEN, nullptr);
        return ARCERR_ALREADY_OPEN;
    }
    status = 0;
    entries = nullptr;
    count = 0;
    cursor = 0;
    current_receiver = this;

    if (!path) {
        status = ARCERR_NO_NAME;
        OnError(ARCERR_NO_NAME, nullptr);
        return ARCERR_NO_NAME;
    }
    input_open(path);
    status = input_status();
    if (status)
        return status;

    BYTE header[kHeaderSize];
    input_read_bytes(header, kHeaderSize);
    if (header[0] != 'K' || header[1] != 'W') {
        status = ARCERR_BAD_DATA;
        OnError(ARCERR_BAD_DATA, nullptr);
        return ARCERR_BAD_DATA;
    }
    version_a = header[2];
    version_b = header[3];
    window_bits = header[6];
    const int member_count = header[4] | (header[5] << 8);
    // Known from here on, whatever stops the directory being read.
    count = member_count;

    if (version_a != kNewestVersionA && version_b < kLowestVersionB) {
        status = ARCERR_BAD_VERSION;
        report_error(ARCERR_BAD_VERSION, nullptr);
        return ARCERR_BAD_VERSION;
    }
    // A header cut short reads as zeros past its end: the input stream's code
    // says what went wrong, not the window bits it made up.
    status = input_status();
    if (status)
        return status;
    // Smaller windows would let a longest match overwrite unwritten bytes;
    // larger ones cannot be addressed and only cost memory.
    if (window_bits < static_cast<int>(kMinWindowBits) || window_bits > static_cast<int>(kMaxWindowBits)) {
        status = ARCERR_BAD_DATA;
        OnError(ARCERR_BAD_DATA, nullptr);
        return ARCERR_BAD_DATA;
    }

    // Zeroed, so that Close can release exactly the names read so far.
    const int records = member_count > 0 ? member_count : 1;
    entries = static_cast<ArchiveEntry*>(
        LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, static_cast<SIZE_T>(records) * sizeof(ArchiveEntry)));
    if (!entries) {
        status = ARCERR_NO_MEMORY;
        OnError(ARCERR_NO_MEMORY, nullptr);
        return ARCERR_NO_MEMORY;
    }

    for (int i = 0; i < count; ++i) {
        ArchiveEntry* entry = &entries[i];
        int name_length = 0;
        if (!ReadText(&entry->name, &name_length) || !ReadText(&entry->note, &entry->note_length)) {
            status = ARCERR_NO_MEMORY;
            OnError(ARCERR_NO_MEMORY, nullptr);
            return ARCERR_NO_MEMORY;
        }
        entry->size = read_dword();
        entry->time = read_word();
        entry->date = read_word();
    }

    decoder_setup(static_cast<unsigned>(window_bits));
    status = decoder_error;
    return 0;
}

// Reads a length-prefixed text into a new allocation with a NUL after it.
int ArchiveReader::ReadText(char** text, int* length)
{
    BYTE prefix[2];
    input_read_bytes(prefix, 1);
    int n = prefix[0];
    if (n >= 0x80) {
        input_read_bytes(prefix + 1, 1);
        n = ((n & 0x7F) << 8) | prefix[1];
    }
    *length = n;
    *text = static_cast<char*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(n) + 1));
    if (!*text)
        return 0;
    input_read_bytes(reinterpret_cast<BYTE*>(*text), n);
    (*text)[n] = '\0';
    return 1;
}

int ArchiveReader::GetEntry(int index, ArchiveEntry* entry)
{
    if (status)
        return status;
    if (!entries)
        return Closed();
    if (index < 0 || index >= count) {
        const int code = index == count ? ARCERR_END_OF_DIRECTORY : ARCERR_BAD_INDEX;
        OnError(code, nullptr);
        return code;
    }
    *entry = entries[index];
    return 0;
}

int ArchiveReader::Extract(int index, const char* directory, int keep_paths)
{
    if (status)
        return status;
    if (!entries)
        return Closed();
    if (index >= count) {
        const int code = index == count ? ARCERR_END_OF_DIRECTORY : ARCERR_BAD_INDEX;
        OnError(code, nullptr);
        return code;
    }
    if (index == -1) {
        int result = 0;
        for (int k = cursor; k < count && result == 0; ++k)
            result = Extract(k, directory, keep_paths);
        if (result)
            OnError(result, nullptr);
        return result;
    }
    if (index < cursor) {
        OnError(ARCERR_BAD_INDEX, nullptr);
        return ARCERR_BAD_INDEX;
    }
    // Members before the requested one are decoded without being written.
    int result = 0;
    for (int k = cursor; k <= index && result == 0; ++k) {
        result = ExtractOne(k == index, k, directory, keep_paths);
        cursor = k + 1;
    }
    if (result)
        OnError(result, nullptr);
    return result;
}

int ArchiveReader::ExtractOne(int write, int index, const char* directory, int keep_paths)
{
    const ArchiveEntry& entry = entries[index];
    char path[MAX_PATH];
    HANDLE file = INVALID_HANDLE_VALUE;
    if (write) {
        if (!compose_output_path(path, directory, entry.name, keep_paths) ||
            (file = create_output_file(path)) == INVALID_HANDLE_VALUE) {
            report_error(ARCERR_CANNOT_CREATE, nullptr);
            return ARCERR_CANNOT_CREATE;
        }
    }
    const int result =
        decode_member(file, static_cast<int>(entry.size), write ? ARCSTAT_EXTRACT : ARCSTAT_SKIP, entry.name);
    if (write)
        finish_output_file(file, path, entry.date, entry.time, result);
    return result;
}

// After Close the directory and the decoder's window are gone: no member can
// be reached any more.
int ArchiveReader::Closed()
{
    OnError(ARCERR_BAD_INDEX, nullptr);
    return ARCERR_BAD_INDEX;
}

void ArchiveReader::FreeEntries()
{
    if (!entries)
        return;
    for (int i = 0; i < count; ++i) {
        if (entries[i].name)
            LocalFree(entries[i].name);
        if (entries[i].note)
            LocalFree(entries[i].note);
    }
    LocalFree(entries);
    entries = nullptr;
}

void ArchiveReader::Close()
{
    // A reader that never became current (its Open failed with 20) owns none
    // of the shared engine state; releasing it would pull it from under the
    // reader that does.
    if (current_receiver != this)
        return;
    input_close();
    decoder_release();
    FreeEntries();
}
