// Installing one archive of the kit.
#pragma once

#include <windows.h>

#include "archive_list.h"

// Installs the archive of `entry` into its destination. TRUE on success;
// FALSE after whatever message belongs to the failure.
BOOL InstallArchive(HWND dialog, const ArchiveListEntry* entry);
