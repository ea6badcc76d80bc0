// Installing one archive of the kit: its ARCHIVE resource is copied to a
// temporary file (ARCxxxx.TMP), opened with the archive reader, and its
// members installed one by one into the destination. A member whose target
// is in use goes to the temporary directory and replaces the target at the
// next restart.
#pragma once

#include <windows.h>

#include "archive_list.h"

// Installs the archive of `entry`. TRUE when every member was installed or
// scheduled; FALSE after whatever message belongs to the failure.
BOOL InstallArchive(HWND dialog, const ArchiveListEntry* entry);

// Writes the ARCHIVE resource `archiveId` into the existing file stagedPath.
BOOL StageArchive(DWORD archiveId, const char* stagedPath);

// Installs every member of the staged archive below destinationDir, showing
// each on the progress display. Stops at the first member that fails, after
// telling the user which one.
BOOL InstallMembers(HWND dialog, const char* stagedPath, const char* destinationDir);
