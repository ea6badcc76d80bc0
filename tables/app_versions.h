// Product qualification: the AppVersions table lists the accepted installed
// versions, each by where the registry keeps the install directory, a file
// below it and that file's checksum in that version.
//
// Row: display text, key path below HKEY_LOCAL_MACHINE, value name (strings),
// file name (string), checksum (16 bits).
#pragma once

#include <windows.h>

// 1 when a row qualifies: detectedText (260 bytes) then holds its display
// text and installDir the install directory read for it. installDirSize bytes
// of installDir are cleared before each registry read and given to it.
BOOL FindQualifyingVersion(char* detectedText, char* installDir, DWORD installDirSize);

// The one's complement of the 16-bit sum of the file's little-endian words;
// 0x0000 when the file cannot be opened.
WORD ComputeFileChecksum(const char* path);
