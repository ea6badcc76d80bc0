#include "new_version_file.h"

#include "archive_reader.h"
#include "kit_resources.h"
#include "output_files.h"

namespace {

const char kNewVersionPrefix[] = "NEW";

// The temporary directory, with its backslash; FALSE when the system cannot
// give it within a path buffer.
BOOL TemporaryDirectory(char* tempDir)
{
    const DWORD length = GetTempPathA(KIT_TEXT_COUNT, tempDir);
    return length > 0 && length < KIT_TEXT_COUNT;
}

// A new, empty folder in the temporary directory. The engine writes a member
// under its base name, which may already be taken there by any other file;
// in a folder of its own it can clash with nothing.
BOOL MakeFolderOfItsOwn(const char* tempDir, char* folder)
{
    // The system picks a free name and reserves it with an empty file, which
    // then makes way for the folder.
    if (!GetTempFileNameA(tempDir, kNewVersionPrefix, 0, folder))
        return FALSE;
    DeleteFileA(folder);
    return CreateDirectoryA(folder, nullptr);
}

// Moves `extracted` to a new unique file of the temporary directory.
BOOL MoveToFileOfItsOwn(const char* tempDir, const char* extracted, char* newFile)
{
    if (!GetTempFileNameA(tempDir, kNewVersionPrefix, 0, newFile))
        return FALSE;
    // The reserving file goes: the move cannot replace a file on Windows 95.
    if (DeleteFileA(newFile) && MoveFileA(extracted, newFile))
        return TRUE;
    DeleteFileA(newFile);
    return FALSE;
}

}  // namespace

int ExtractNewVersion(ArchiveReader* reader, int index, const char* storedName, char* newFile)
{
    char tempDir[KIT_PATH_SIZE];
    char folder[KIT_PATH_SIZE];
    char extracted[MAX_PATH];
    if (!TemporaryDirectory(tempDir) || !MakeFolderOfItsOwn(tempDir, folder))
        return ARCERR_CANNOT_CREATE;
    int result = reader->Extract(index, folder, 0);
    if (result == 0) {
        // Where the engine wrote it: the same composition, from the same parts.
        if (!compose_output_path(extracted, folder, storedName, 0) ||
            !MoveToFileOfItsOwn(tempDir, extracted, newFile)) {
            DeleteFileA(extracted);
            result = ARCERR_CANNOT_CREATE;
        }
    }
    RemoveDirectoryA(folder);
    return result;
}
