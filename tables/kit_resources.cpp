#include "kit_resources.h"

#include <stdarg.h>

HINSTANCE KitInstance;

BOOL OpenKitTable(const char* name, KitTable* table)
{
    table->loaded = nullptr;
    table->data = nullptr;
    HRSRC found = FindResourceA(KitInstance, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (!found)
        return FALSE;
    HGLOBAL loaded = LoadResource(KitInstance, found);
    if (!loaded)
        return FALSE;
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    if (!data) {
        FreeResource(loaded);
        return FALSE;
    }
    table->loaded = loaded;
    table->data = data;
    return TRUE;
}

void CloseKitTable(KitTable* table)
{
    if (table->loaded)
        FreeResource(table->loaded);
    table->loaded = nullptr;
    table->data = nullptr;
}

WORD ReadTableWord(const BYTE** cursor)
{
    const BYTE* p = *cursor;
    *cursor = p + 2;
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

BOOL TableRowFollows(const BYTE* cursor)
{
    return (cursor[0] | cursor[1]) != 0;
}

void ReadTableString(const BYTE** cursor, char* buffer)
{
    for (int i = 0; i < KIT_PATH_SIZE; ++i)
        buffer[i] = 0;
    const char* text = reinterpret_cast<const char*>(*cursor);
    lstrcpynA(buffer, text, KIT_TEXT_COUNT);
    *cursor += lstrlenA(text) + 1;
}

void LoadKitString(UINT id, char* buffer, int size)
{
    if (LoadStringA(KitInstance, id, buffer, size) <= 0)
        buffer[0] = '\0';
}

int ShowKitMessage(HWND owner, const char* text, const char* caption, UINT style)
{
    MessageBeep(style & MB_ICONMASK);
    return MessageBoxA(owner, text, caption, style);
}

void FormatBounded(char* buffer, int size, const char* format, ...)
{
    // wsprintfA writes at most 1024 characters with its NUL, whatever it is
    // given; format into that much, then keep what fits the caller's buffer.
    char formatted[1025];
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(formatted, format, arguments);
    va_end(arguments);
    lstrcpynA(buffer, formatted, size);
}
