#include "archive_list.h"

void AppendPathComponent(char* path, const char* component, DWORD capacity)
{
    DWORD n = static_cast<DWORD>(lstrlenA(path));
    // Bytes, not characters: a trailing byte of a double-byte character that
    // equals a backslash counts as a separator.
    if (n > 1 && path[n - 1] != '\\') {
        path[n] = '\\';
        path[n + 1] = '\0';
        ++n;
    }
    if (*component == '\\')
        ++component;
    if (capacity > n)
        lstrcpynA(path + n, component, static_cast<int>(capacity - n));
}

BOOL GetArchiveListEntry(int index, ArchiveListEntry* entry, const char* installDir)
{
    KitTable table;
    if (!OpenKitTable(KIT_TABLE_ARCHIVE_LIST, &table))
        return FALSE;
    BOOL found = FALSE;
    const BYTE* cursor = table.data;
    // Every lookup walks the table from its first row.
    for (int row = 0; row <= index; ++row) {
        if (!TableRowFollows(cursor))
            break;
        BYTE* bytes = reinterpret_cast<BYTE*>(entry);
        for (unsigned i = 0; i < sizeof(ArchiveListEntry); ++i)
            bytes[i] = 0;
        // The whole text is skipped, however long, so the fields behind a
        // truncated one stay in place.
        const char* text = reinterpret_cast<const char*>(cursor);
        lstrcpynA(entry->progressText, text, KIT_TEXT_COUNT);
        cursor += lstrlenA(text) + 1;

        switch (ReadTableWord(&cursor)) {
        case DestinationWindowsDir:
            GetWindowsDirectoryA(entry->destinationDir, KIT_TEXT_COUNT);
            break;
        case DestinationSystemDir:
            GetSystemDirectoryA(entry->destinationDir, KIT_TEXT_COUNT);
            break;
        default:
            lstrcpynA(entry->destinationDir, installDir, KIT_TEXT_COUNT);
            break;
        }
        const char* subdirectory = reinterpret_cast<const char*>(cursor);
        AppendPathComponent(entry->destinationDir, subdirectory, KIT_TEXT_COUNT);
        cursor += lstrlenA(subdirectory) + 1;

        entry->archiveId = ReadTableWord(&cursor);
        found = row == index;
    }
    CloseKitTable(&table);
    return found;
}
