// Replacing a file in use at the next restart: delayed moves on Windows NT,
// [Rename] entries of WININIT.INI on Windows 95.
#pragma once

#include <windows.h>

// Schedules newFile (in the temporary directory) to replace target at the
// next restart: target deleted first, then newFile moved there. TRUE only when
// the whole replacement was written down; on FALSE nothing of it was (no
// deletion is ever left without the move behind it).
BOOL ScheduleReplace(const char* newFile, const char* target);

// Appends the two WININIT.INI entries of one replacement, "NUL=target" and
// "target=newFile" (short paths), to the file's first [Rename] section, or to
// a new one at its end, in one write. Every other byte of the file is kept.
// FALSE when the file cannot be read or written; it is then left as it was.
BOOL AppendRenameEntries(const char* iniPath, const char* shortTarget, const char* shortNew);
