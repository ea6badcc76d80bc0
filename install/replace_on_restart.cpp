#include "replace_on_restart.h"

#include "kit_resources.h"

namespace {

const char kLineEnd[] = "\r\n";

void WriteText(HFILE file, const char* text) { _lwrite(file, text, static_cast<UINT>(lstrlenA(text))); }

void WriteEntry(HFILE file, const char* key, const char* value)
{
    WriteText(file, key);
    WriteText(file, "=");
    WriteText(file, value);
    WriteText(file, kLineEnd);
}

// The 8.3 form, which the system's start-up rename step needs: a long name
// would not be understood there. FALSE when the system cannot give it.
BOOL ShortPath(const char* path, char* shortPath)
{
    const DWORD length = GetShortPathNameA(path, shortPath, KIT_TEXT_COUNT);
    return length > 0 && length < KIT_TEXT_COUNT;
}

BOOL IsWindowsNT() { return (GetVersion() & 0x80000000u) == 0; }

}  // namespace

BOOL AppendIniEntry(const char* section, const char* key, const char* value, const char* iniPath)
{
    HFILE file = _lopen(iniPath, OF_READWRITE);
    if (file != HFILE_ERROR) {
        // Whatever the file's last section is, the entry goes at its end.
        _llseek(file, 0, FILE_END);
        WriteEntry(file, key, value);
        _lclose(file);
        return TRUE;
    }
    // Creating truncates: only when there is no file, never over one that is
    // merely read-only or locked, whose pending entries must survive.
    if (GetFileAttributesA(iniPath) != INVALID_FILE_ATTRIBUTES)
        return FALSE;
    file = _lcreat(iniPath, 0);
    if (file == HFILE_ERROR)
        return FALSE;
    WriteText(file, "[");
    WriteText(file, section);
    WriteText(file, "]");
    WriteText(file, kLineEnd);
    WriteEntry(file, key, value);
    _lclose(file);
    return TRUE;
}

BOOL ScheduleReplace(const char* newFile, const char* target)
{
    if (IsWindowsNT()) {
        // Carried out in the order added: the deletion, then the move.
        MoveFileExA(target, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExA(newFile, target, MOVEFILE_DELAY_UNTIL_REBOOT);
        return TRUE;
    }
    char iniPath[KIT_PATH_SIZE];
    char shortNew[KIT_PATH_SIZE];
    char shortTarget[KIT_PATH_SIZE];
    GetWindowsDirectoryA(iniPath, KIT_TEXT_COUNT);
    if (!ShortPath(newFile, shortNew) || !ShortPath(target, shortTarget))
        return FALSE;
    lstrcatA(iniPath, "\\WININIT.INI");
    return AppendIniEntry("Rename", "NUL", shortTarget, iniPath) &&
           AppendIniEntry("Rename", shortTarget, shortNew, iniPath);
}
