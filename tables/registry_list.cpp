#include "registry_list.h"

namespace {

struct TokenDirectories {
    char windowsDir[KIT_PATH_SIZE];
    char systemDir[KIT_PATH_SIZE];
    char installDir[KIT_PATH_SIZE];
};

// What the token with this middle character stands for; null for a character
// that names nothing (the token is then dropped).
const char* TokenReplacement(char letter, const TokenDirectories& dirs)
{
    switch (letter) {
    case 'I':
    case 'i':
        return dirs.installDir;
    case 'S':
    case 's':
        return dirs.systemDir;
    case 'W':
    case 'w':
        return dirs.windowsDir;
    default:
        return nullptr;
    }
}

// A token is a percent sign, any character but NUL, and a percent sign.
bool TokenAt(const char* p)
{
    return p[0] == '%' && p[1] != '\0' && p[2] == '%';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

HKEY RegistryRootKey(WORD rootCode)
{
    switch (rootCode) {
    case RootClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RootLocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RootCurrentUser:
        return HKEY_CURRENT_USER;
    case RootUsers:
        return HKEY_USERS;
    default:
        return nullptr;
    }
}

char* ExpandDirectoryTokens(const char* text, const char* installDir)
{
    TokenDirectories dirs;
    for (unsigned i = 0; i < sizeof dirs; ++i)
        reinterpret_cast<char*>(&dirs)[i] = 0;
    GetWindowsDirectoryA(dirs.windowsDir, KIT_TEXT_COUNT);
    GetSystemDirectoryA(dirs.systemDir, KIT_TEXT_COUNT);
    lstrcpynA(dirs.installDir, installDir, KIT_TEXT_COUNT);
    // Only the install directory loses a trailing backslash, and only when
    // it is longer than one character.
    const int installLength = lstrlenA(dirs.installDir);
    if (installLength > 1 && dirs.installDir[installLength - 1] == '\\')
        dirs.installDir[installLength - 1] = '\0';

    DWORD size = static_cast<DWORD>(lstrlenA(text)) + 1;
    for (const char* p = text; *p;) {
        if (TokenAt(p)) {
            const char* replacement = TokenReplacement(p[1], dirs);
            size = size + (replacement ? static_cast<DWORD>(lstrlenA(replacement)) : 0) - 3;
            p += 3;
        } else {
            ++p;
        }
    }

    char* expanded = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!expanded)
        return nullptr;
    char* out = expanded;
    for (const char* p = text; *p;) {
        if (TokenAt(p)) {
            if (const char* replacement = TokenReplacement(p[1], dirs)) {
                lstrcpyA(out, replacement);
                out += lstrlenA(replacement);
            }
            p += 3;
        } else {
            *out++ = *p++;
        }
    }
    return expanded;
}

DWORD ParseRegistryNumber(const char* data)
{
    const bool hex = data[0] == '0' && (data[1] == 'x' || data[1] == 'X');
    const char* p = data;
    while (IsBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    DWORD value = 0;
    if (hex) {
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
            p += 2;
        for (int digit; (digit = HexDigit(*p)) >= 0; ++p)
            value = value * 16 + static_cast<DWORD>(digit);
    } else {
        for (; *p >= '0' && *p <= '9'; ++p)
            value = value * 10 + static_cast<DWORD>(*p - '0');
    }
    return negative ? 0 - value : value;
}

LONG WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName, DWORD typeCode, const char* data,
                        const char* installDir)
{
    HKEY key;
    if (RegCreateKeyA(root, keyPath, &key) != ERROR_SUCCESS)
        return 0;
    LONG status = 0;
    switch (typeCode) {
    case KIT_TYPE_STRING:
    case KIT_TYPE_EXPAND_STRING:
        if (char* expanded = ExpandDirectoryTokens(data, installDir)) {
            status = RegSetValueExA(key, valueName, 0, typeCode, reinterpret_cast<const BYTE*>(expanded),
                                    static_cast<DWORD>(lstrlenA(expanded)) + 1);
            HeapFree(GetProcessHeap(), 0, expanded);
        }
        break;
    case KIT_TYPE_DWORD: {
        const DWORD number = ParseRegistryNumber(data);
        status = RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
        break;
    }
    default:
        break;  // the key is created all the same
    }
    RegCloseKey(key);
    return status;
}

BOOL WriteRegistryList(const char* installDir)
{
    KitTable table;
    if (!OpenKitTable(KIT_TABLE_REGISTRY_LIST, &table))
        return FALSE;
    const BYTE* cursor = table.data;
    for (;;) {
        const WORD rootCode = ReadTableWord(&cursor);
        if (rootCode == 0)
            break;
        char keyPath[KIT_PATH_SIZE];
        char valueName[KIT_PATH_SIZE];
        char data[KIT_PATH_SIZE];
        ReadTableString(&cursor, keyPath);
        ReadTableString(&cursor, valueName);
        const WORD typeCode = ReadTableWord(&cursor);
        ReadTableString(&cursor, data);
        // A row that fails is skipped; the rest are still written.
        WriteRegistryValue(RegistryRootKey(rootCode), keyPath, valueName, typeCode, data, installDir);
    }
    CloseKitTable(&table);
    return TRUE;
}
