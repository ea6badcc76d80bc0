// The kit's resources: what the executable carries, by type, name and id.
//
// Every table is an RT_RCDATA resource found by name. Rows are packed byte to
// byte: ANSI NUL-terminated strings and 16-bit little-endian numbers at any
// offset; a 16-bit zero where a row would begin ends the table.
#pragma once

// The install dialog and its controls.
#define IDD_INSTALL 100
#define IDC_PICTURE 201
#define IDC_PROGRESS_GROUP 210
#define IDC_PROGRESS_LINE1 211
#define IDC_PROGRESS_LINE2 212
#define IDC_PROGRESS_BAR 213
#define IDC_INSTALL 1    // IDOK: the default button, also Enter
#define IDC_EXIT 2       // IDCANCEL: also Escape and the close box

// The picture and the program icon.
#define IDB_KIT_PICTURE 1000
#define IDI_KIT 1000

// The string table.
#define IDS_TITLE 1000            // the kit's title: caption of every message
#define IDS_APP_RUNNING 1001      // "Cannot proceed because %s is currently running. ..."
#define IDS_NO_QUALIFYING 1002
#define IDS_INITIALIZING 1003
#define IDS_TRANSFER_ERROR 1004   // "Error %d transferring file %s."
#define IDS_INSTALL_FAILED 1005
#define IDS_COMPLETED 1006

// The version block.
#define IDV_VERSION 1

// The four tables (RT_RCDATA, by name) and the archives (type by name,
// integer ids).
#define KIT_TABLE_APP_VERSIONS "AppVersions"
#define KIT_TABLE_WINDOW_LIST "WindowList"
#define KIT_TABLE_ARCHIVE_LIST "ArchiveList"
#define KIT_TABLE_REGISTRY_LIST "RegistryList"
#define KIT_ARCHIVE_TYPE "Archive"

// Destination bases of archive list rows; any other value means the
// product's install directory.
#define KIT_BASE_INSTALL 0
#define KIT_BASE_WINDOWS 1
#define KIT_BASE_SYSTEM 2

// Registry list root codes and type codes.
#define KIT_ROOT_CLASSES_ROOT 1
#define KIT_ROOT_LOCAL_MACHINE 2
#define KIT_ROOT_CURRENT_USER 3
#define KIT_ROOT_USERS 4
#define KIT_TYPE_STRING 1
#define KIT_TYPE_EXPAND_STRING 2
#define KIT_TYPE_DWORD 4

#ifndef RC_INVOKED
#include <windows.h>

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
#endif
