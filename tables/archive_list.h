// The archive list: which ARCHIVE resources the kit installs, in order, where
// each goes and what the progress display says meanwhile; and the kit's one
// rule for joining a directory and a relative name.
//
// Row: progress text (string), destination base (16 bits), subdirectory
// (string), archive id (16 bits).
#pragma once

#include <windows.h>

#include "kit_resources.h"

enum DestinationBase {
    DestinationInstallDir = KIT_BASE_INSTALL,  // also any value other than the two below
    DestinationWindowsDir = KIT_BASE_WINDOWS,
    DestinationSystemDir = KIT_BASE_SYSTEM,
};

struct ArchiveListEntry {
    char progressText[KIT_PATH_SIZE];
    char destinationDir[KIT_PATH_SIZE];
    DWORD archiveId;
};

// Fills `entry` from row `index` (from 0), its destination resolved against
// `installDir` or a system directory. 0 past the last row or when the table
// is missing.
BOOL GetArchiveListEntry(int index, ArchiveListEntry* entry, const char* installDir);

// Appends `component` to the directory in `path`: a backslash between them
// unless the directory is empty, one character long or already ends in one;
// one leading backslash of the component is dropped. The copy holds at most
// capacity - n - 1 characters, n the length with the separator.
void AppendPathComponent(char* path, const char* component, DWORD capacity);
