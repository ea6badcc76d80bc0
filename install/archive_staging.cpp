#include "archive_staging.h"

#include "archive_reader.h"
#include "kit_resources.h"
#include "new_version_file.h"
#include "output_files.h"
#include "progress_display.h"
#include "replace_on_restart.h"

namespace {

// "Error %d transferring file %s.", cut to its buffer however long the name.
void ShowTransferError(HWND dialog, int code, const char* memberName)
{
    char format[KIT_PATH_SIZE];
    char message[KIT_PATH_SIZE];
    char caption[KIT_PATH_SIZE];
    LoadKitString(IDS_TRANSFER_ERROR, format, KIT_TEXT_COUNT);
    FormatBounded(message, KIT_PATH_SIZE, format, code, memberName);
    LoadKitString(IDS_TITLE, caption, KIT_TEXT_COUNT);
    ShowKitMessage(dialog, message, caption, MB_OK | MB_ICONHAND);
}

// Installs member `index`: straight to its target, or, when the target is in
// use (its deletion is refused), into a new file of the temporary directory
// that replaces the target at the next restart. 0 or an error code.
int InstallMember(ArchiveReader* reader, int index, const char* name, const char* destinationDir)
{
    // The target is composed exactly as the engine composes the file it
    // writes, so the file deleted is the file written for every destination,
    // an empty one included. A name that would lead outside the destination,
    // or a path that would not fit, is refused before anything is deleted.
    char target[MAX_PATH];
    if (!compose_output_path(target, destinationDir, name, 1))
        return ARCERR_CANNOT_CREATE;

    if (!DeleteFileA(target) && GetLastError() == ERROR_ACCESS_DENIED) {
        char newFile[KIT_PATH_SIZE];
        int result = ExtractNewVersion(reader, index, name, newFile);
        if (result == 0 && !ScheduleReplace(newFile, target)) {
            // Nothing will ever move it: it must not stay behind.
            DeleteFileA(newFile);
            result = ARCERR_CANNOT_CREATE;
        }
        return result;
    }
    // Not there yet, or gone: the member lands at its stored path below the
    // destination, which is the target.
    return reader->Extract(index, destinationDir, 1);
}

}  // namespace

BOOL StageArchive(DWORD archiveId, const char* stagedPath)
{
    HRSRC found = FindResourceA(KitInstance, MAKEINTRESOURCEA(archiveId & 0xFFFF), KIT_ARCHIVE_TYPE);
    if (!found)
        return FALSE;
    HGLOBAL loaded = LoadResource(KitInstance, found);
    if (!loaded)
        return FALSE;
    const DWORD size = SizeofResource(KitInstance, found);
    const void* data = LockResource(loaded);
    if (!data) {
        FreeResource(loaded);
        return FALSE;
    }
    // _lcreat takes the path as it is, so a temporary directory deeper than
    // the 128 characters of an open record still works.
    HFILE file = _lcreat(stagedPath, 0);
    if (file == HFILE_ERROR) {
        FreeResource(loaded);
        return FALSE;
    }
    // A short write (a full disk) surfaces when the archive is read.
    _lwrite(file, static_cast<LPCCH>(data), size);
    _lclose(file);
    FreeResource(loaded);
    return TRUE;
}

BOOL InstallMembers(HWND dialog, const char* stagedPath, const char* destinationDir)
{
    ArchiveReader reader;
    reader.Open(stagedPath);
    if (reader.GetStatus()) {
        reader.Close();
        return FALSE;  // the run sequence reports the failed archive
    }
    const DWORD count = static_cast<DWORD>(reader.GetCount());
    for (DWORD i = 0; i < count; ++i) {
        ArchiveEntry member;
        reader.GetEntry(static_cast<int>(i), &member);
        // The first line keeps the archive's text.
        ShowProgress(dialog, i, count, nullptr, member.name);
        const int result = InstallMember(&reader, static_cast<int>(i), member.name, destinationDir);
        if (result) {
            ShowTransferError(dialog, result, member.name);
            reader.Close();
            return FALSE;
        }
    }
    reader.Close();
    return TRUE;
}

BOOL InstallArchive(HWND dialog, const ArchiveListEntry* entry)
{
    char tempDir[KIT_PATH_SIZE];
    char stagedPath[KIT_PATH_SIZE];
    GetTempPathA(KIT_TEXT_COUNT, tempDir);
    if (!GetTempFileNameA(tempDir, "ARC", 0, stagedPath))
        return FALSE;
    if (!StageArchive(entry->archiveId, stagedPath)) {
        DeleteFileA(stagedPath);
        return FALSE;
    }
    // Deeper missing levels are made when each member's file is created.
    CreateDirectoryA(entry->destinationDir, nullptr);
    const BOOL ok = InstallMembers(dialog, stagedPath, entry->destinationDir);
    DeleteFileA(stagedPath);
    return ok;
}
