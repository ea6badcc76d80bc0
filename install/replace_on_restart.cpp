#include "replace_on_restart.h"

#include "ini_file.h"
#include "kit_resources.h"

namespace {

const char kRenameSection[] = "Rename";
const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const WCHAR kPendingRenames[] = L"PendingFileRenameOperations";

BOOL IsWindowsNT()
{
    return (GetVersion() & 0x80000000u) == 0;
}

// The 8.3 form, which the system's start-up rename step needs: a long name
// would not be understood there. FALSE when the system cannot give it.
BOOL ShortPath(const char* path, char* shortPath)
{
    const DWORD length = GetShortPathNameA(path, shortPath, KIT_TEXT_COUNT);
    return length > 0 && length < KIT_TEXT_COUNT;
}

// The Windows directory joined with `name`; FALSE when it does not fit.
BOOL WindowsDirectoryFile(const char* name, char* path)
{
    const DWORD length = GetWindowsDirectoryA(path, KIT_TEXT_COUNT);
    if (length == 0 || length >= KIT_TEXT_COUNT)
        return FALSE;
    const BOOL separator = path[length - 1] != '\\';
    if (length + (separator ? 1 : 0) + static_cast<DWORD>(lstrlenA(name)) > KIT_TEXT_COUNT)
        return FALSE;
    if (separator)
        lstrcatA(path, "\\");
    lstrcatA(path, name);
    return TRUE;
}

// Each string of a REG_MULTI_SZ list in turn; nullptr after the last.
const WCHAR* NextString(const WCHAR* s, const WCHAR* end)
{
    while (s < end && *s)
        ++s;
    return s + 1 < end ? s + 1 : nullptr;
}

// The system writes the path down as it was given, qualified; letters are
// compared without case all the same, as the file system does for ASCII.
// (Windows 95 has no wide comparison to import, and the kit must load there.)
BOOL SameText(const WCHAR* a, const WCHAR* b)
{
    for (;; ++a, ++b) {
        WCHAR x = *a >= 'a' && *a <= 'z' ? static_cast<WCHAR>(*a - 'a' + 'A') : *a;
        WCHAR y = *b >= 'a' && *b <= 'z' ? static_cast<WCHAR>(*b - 'a' + 'A') : *b;
        if (x != y)
            return FALSE;
        if (!x)
            return TRUE;
    }
}

// A function looked up by name, as a plain address for the caller to type.
void* SystemFunction(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

typedef LONG(WINAPI* QueryValueW)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
typedef LONG(WINAPI* SetValueW)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);

// Takes back the delayed deletion of `target` just registered, when the move
// that was to follow it could not be: the list of pending renames loses its
// last pair "\??\target", "" and keeps every other entry as it stands. The
// list is UTF-16 and shared with other programs, so it is edited through the
// wide functions (NT has them; this runs only there), never through ANSI.
void ForgetDelayedDeletion(const char* target)
{
    HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
    QueryValueW queryValue = reinterpret_cast<QueryValueW>(SystemFunction(advapi, "RegQueryValueExW"));
    SetValueW setValue = reinterpret_cast<SetValueW>(SystemFunction(advapi, "RegSetValueExW"));
    // The path as the system wrote it down: fully qualified, behind "\??\".
    char full[MAX_PATH];
    WCHAR wanted[MAX_PATH + 8] = L"\\??\\";
    const DWORD fullLength = GetFullPathNameA(target, MAX_PATH, full, nullptr);
    if (!queryValue || !setValue || fullLength == 0 || fullLength >= MAX_PATH ||
        !MultiByteToWideChar(CP_ACP, 0, full, -1, wanted + 4, MAX_PATH + 4))
        return;

    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kSessionManagerKey, &key) != ERROR_SUCCESS)
        return;
    DWORD type = 0;
    DWORD size = 0;
    WCHAR* list = nullptr;
    if (queryValue(key, kPendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ &&
        (list = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + 4 * sizeof(WCHAR)))) &&
        queryValue(key, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(list), &size) == ERROR_SUCCESS) {
        const WCHAR* end = list + size / sizeof(WCHAR);
        WCHAR* found = nullptr;
        WCHAR* after = nullptr;
        // Pairs of source and destination; the last deletion of the target.
        for (const WCHAR* source = list; source && *source;) {
            const WCHAR* destination = NextString(source, end);
            if (!destination)
                break;
            const WCHAR* next = NextString(destination, end);
            if (*destination == 0 && SameText(source, wanted)) {
                found = const_cast<WCHAR*>(source);
                after = const_cast<WCHAR*>(next ? next : end);
            }
            source = next;
        }
        if (found) {
            WCHAR* to = found;
            for (const WCHAR* from = after; from < end;)
                *to++ = *from++;
            const DWORD kept = static_cast<DWORD>(to - list) * sizeof(WCHAR);
            setValue(key, kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list), kept);
        }
    }
    if (list)
        HeapFree(GetProcessHeap(), 0, list);
    RegCloseKey(key);
}

BOOL ScheduleOnNT(const char* newFile, const char* target)
{
    // Carried out in the order added: the deletion, then the move. The move
    // does not replace, so two schedules of one target each delete what the
    // one before put there, and the last one's file stays.
    if (!MoveFileExA(target, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return FALSE;
    if (MoveFileExA(newFile, target, MOVEFILE_DELAY_UNTIL_REBOOT))
        return TRUE;
    // A deletion alone would lose the file at the restart.
    ForgetDelayedDeletion(target);
    return FALSE;
}

BOOL ScheduleOnWindows95(const char* newFile, const char* target)
{
    char iniPath[KIT_PATH_SIZE];
    char shortNew[KIT_PATH_SIZE];
    char shortTarget[KIT_PATH_SIZE];
    if (!WindowsDirectoryFile("WININIT.INI", iniPath) || !ShortPath(newFile, shortNew) ||
        !ShortPath(target, shortTarget))
        return FALSE;
    return AppendRenameEntries(iniPath, shortTarget, shortNew);
}

}  // namespace

BOOL AppendRenameEntries(const char* iniPath, const char* shortTarget, const char* shortNew)
{
    if (lstrlenA(shortTarget) > KIT_TEXT_COUNT || lstrlenA(shortNew) > KIT_TEXT_COUNT)
        return FALSE;
    // "NUL=" + target, CR LF, target + "=" + new, CR LF.
    char lines[3 * KIT_PATH_SIZE + 16];
    lstrcpyA(lines, "NUL=");
    lstrcatA(lines, shortTarget);
    lstrcatA(lines, "\r\n");
    lstrcatA(lines, shortTarget);
    lstrcatA(lines, "=");
    lstrcatA(lines, shortNew);
    lstrcatA(lines, "\r\n");
    return AddToIniSection(iniPath, kRenameSection, lines);
}

BOOL ScheduleReplace(const char* newFile, const char* target)
{
    return IsWindowsNT() ? ScheduleOnNT(newFile, target) : ScheduleOnWindows95(newFile, target);
}
