// Replacing a file in use at the next restart: delayed moves on Windows NT,
// [Rename] entries of WININIT.INI on Windows 95.
#pragma once

#include <windows.h>

// Schedules newFile (in the temporary directory) to replace target at the
// next restart: target deleted first, then newFile moved there. FALSE when
// the replacement could not be written down on Windows 95 (no short name, or
// a WININIT.INI that can be neither opened nor safely created).
BOOL ScheduleReplace(const char* newFile, const char* target);

// Appends "key=value" to the INI file, creating it with "[section]" first
// when it does not exist. An existing file that cannot be opened for reading
// and writing is left alone: FALSE.
BOOL AppendIniEntry(const char* section, const char* key, const char* value, const char* iniPath);
