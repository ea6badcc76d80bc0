// The archive reader: opens an archive, reads its header and directory, and
// extracts its members strictly in stored order.
//
// Archive layout (little-endian):
//   header     "KW", version bytes A and B, member count (16 bits),
//              window bits, one reserved byte
//   directory  per member: name and note, each with a 1- or 2-byte length
//              prefix; size (32 bits); MS-DOS time; MS-DOS date
//   stream     one coded bit stream for all members, each followed by its
//              16-bit check value
//
// Only one archive can be open in the process at a time: the engine's input
// stream and decoder state are process-wide. A reader serves one archive.
#pragma once

#include "engine_codes.h"

struct ArchiveEntry {
    char* name;  // as stored, owned by the reader
    int note_length;
    char* note;  // possibly empty, owned by the reader
    DWORD size;
    WORD time;  // MS-DOS time, local
    WORD date;  // MS-DOS date
};

class ArchiveReader : public EngineReceiver {
public:
    ArchiveReader();
    // Unregisters the reader if it is the current one. Not virtual: the table
    // of virtual operations holds exactly the three notifications.
    ~ArchiveReader();

    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // 0 once the directory has been read, else a code; check GetStatus after.
    int Open(const char* path);
    int GetStatus() const { return status; }
    int GetCount() const { return count; }
    int GetEntry(int index, ArchiveEntry* entry);
    // Extracts member `index`, or with -1 all remaining members, below
    // `directory`. keep_paths nonzero keeps the stored subdirectories.
    int Extract(int index, const char* directory, int keep_paths);
    void Close();

    int GetVersionA() const { return version_a; }
    int GetVersionB() const { return version_b; }
    int GetWindowBits() const { return window_bits; }
    int GetCursor() const { return cursor; }

protected:
    int ExtractOne(int write, int index, const char* directory, int keep_paths);

private:
    int ReadText(char** text, int* length);
    void FreeEntries();
    int Closed();

    int status;
    int version_a;
    int version_b;
    int count;
    int window_bits;
    int cursor;
    ArchiveEntry* entries;
};
