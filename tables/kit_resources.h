// Reading the kit's own resources: its tables, strings and messages.
#pragma once

#include <windows.h>

#include "kit_resource_ids.h"

// The module the kit's resources are read from.
extern HINSTANCE KitInstance;

// A kit table, locked in place for one walk.
struct KitTable {
    HGLOBAL loaded;
    const BYTE* data;
};

// Finds, loads and locks a table by name; 0 when it is missing or unreadable,
// which every reader treats as an empty table.
BOOL OpenKitTable(const char* name, KitTable* table);
// Releases what OpenKitTable acquired.
void CloseKitTable(KitTable* table);

// Walking a table in place. Numbers are 16-bit little-endian at any offset.
WORD ReadTableWord(const BYTE** cursor);
// Clears the 260-byte buffer, copies at most 258 characters of the string at
// the cursor into it, and moves the cursor past the whole string and its NUL.
void ReadTableString(const BYTE** cursor, char* buffer);
// Whether a row begins at the cursor: a 16-bit zero ends every table.
BOOL TableRowFollows(const BYTE* cursor);

// A string of the string table, at most size - 1 characters.
void LoadKitString(UINT id, char* buffer, int size);

// A message box as the kit shows every message: a beep with the box's icon
// value, then the box itself with the kit's title as caption.
int ShowKitMessage(HWND owner, const char* text, const char* caption, UINT style);

// wsprintfA into `buffer` of `size` bytes, cut to fit however long the
// arguments are.
void FormatBounded(char* buffer, int size, const char* format, ...);

// Path and text buffers: 260 characters, filled with a count of 259.
#define KIT_PATH_SIZE 260
#define KIT_TEXT_COUNT 259
