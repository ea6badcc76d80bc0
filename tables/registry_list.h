// The registry list: values the kit writes once every archive is installed.
// String data may name the install, system and Windows directories through
// the tokens %I%, %S% and %W%.
//
// Row: root code (16 bits; 0 ends the table), key path, value name (strings),
// type code (16 bits), data (string).
#pragma once

#include <windows.h>

#include "kit_resources.h"

enum RegistryRootCode {
    RootClassesRoot = KIT_ROOT_CLASSES_ROOT,
    RootLocalMachine = KIT_ROOT_LOCAL_MACHINE,
    RootCurrentUser = KIT_ROOT_CURRENT_USER,
    RootUsers = KIT_ROOT_USERS,
};

// The predefined key of a root code; null for any other code.
HKEY RegistryRootKey(WORD rootCode);

// Writes every row; 1 at the end of the table, 0 when it is missing.
BOOL WriteRegistryList(const char* installDir);

// Creates or opens the key and writes one value as its type code says (1
// REG_SZ and 2 REG_EXPAND_SZ after token expansion, 4 REG_DWORD parsed from
// the text; others write nothing). The status of the write, or 0.
LONG WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName, DWORD typeCode, const char* data,
                        const char* installDir);

// The text with every token replaced, in a zero-filled block from the
// process heap that the caller frees; null when it cannot be allocated.
char* ExpandDirectoryTokens(const char* text, const char* installDir);

// The number of a REG_DWORD row: hexadecimal after a leading 0x or 0X,
// signed decimal otherwise; a negative value as its two's complement. Text
// without a number gives 0.
DWORD ParseRegistryNumber(const char* data);
