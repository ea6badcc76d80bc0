// The new version of a file in use, kept in the temporary directory until the
// restart puts it in place.
#pragma once

#include <windows.h>

class ArchiveReader;

// Extracts member `index` of the open archive into a file of its own in the
// temporary directory: NEWxxxx.TMP, a name the system makes unique. Every
// replacement scheduled before a restart, by this run or an earlier one,
// thus keeps its own file, however many carry the same stored name.
// newFile (KIT_PATH_SIZE bytes) gets the file's path. 0, or the engine's code
// of a failed extraction, or ARCERR_CANNOT_CREATE when no such file could be
// made; nothing is left behind on failure.
int ExtractNewVersion(ArchiveReader* reader, int index, const char* storedName, char* newFile);
