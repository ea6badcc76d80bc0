#include "app_versions.h"

#include "archive_list.h"
#include "file_checksum.h"
#include "kit_resources.h"

namespace {

const int kChecksumBlock = 1024;

void ClearBytes(char* buffer, DWORD size)
{
    for (DWORD i = 0; i < size; ++i)
        buffer[i] = 0;
}

// Reads the install directory; it stays empty when the key does not open.
// A read that fails (a value too long for the buffer, say) leaves the buffer's
// content undefined, so it is cleared again rather than used as a path.
void ReadInstallDir(const char* keyPath, const char* valueName, char* installDir, DWORD installDirSize)
{
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath, &key) != ERROR_SUCCESS)
        return;
    DWORD size = installDirSize;
    DWORD type;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(installDir), &size) != ERROR_SUCCESS)
        ClearBytes(installDir, installDirSize);
    RegCloseKey(key);
}

}  // namespace

WORD ComputeFileChecksum(const char* path)
{
    OFSTRUCT record;
    HFILE file = OpenFile(path, &record, OF_READ);
    if (file == HFILE_ERROR)
        return 0x0000;
    unsigned short sum = 0;
    // Cleared before every read: a block of odd length ends in a zero byte.
    BYTE block[kChecksumBlock];
    UINT n;
    do {
        for (int i = 0; i < kChecksumBlock; ++i)
            block[i] = 0;
        n = _lread(file, block, kChecksumBlock);
        sum = add_checksum_words(sum, block, n);
    } while (n == kChecksumBlock);
    _lclose(file);
    return finish_checksum(sum);
}

BOOL FindQualifyingVersion(char* detectedText, char* installDir, DWORD installDirSize)
{
    KitTable table;
    if (!OpenKitTable(KIT_TABLE_APP_VERSIONS, &table))
        return FALSE;
    BOOL qualified = FALSE;
    const BYTE* cursor = table.data;
    while (TableRowFollows(cursor)) {
        char keyPath[KIT_PATH_SIZE];
        char valueName[KIT_PATH_SIZE];
        ReadTableString(&cursor, detectedText);
        ReadTableString(&cursor, keyPath);
        ReadTableString(&cursor, valueName);

        // Every row reads the registry again, even for the same value.
        ClearBytes(installDir, installDirSize);
        ReadInstallDir(keyPath, valueName, installDir, installDirSize);

        char filePath[KIT_PATH_SIZE];
        ClearBytes(filePath, KIT_PATH_SIZE);
        lstrcpynA(filePath, installDir, KIT_TEXT_COUNT);
        const char* fileName = reinterpret_cast<const char*>(cursor);
        AppendPathComponent(filePath, fileName, KIT_TEXT_COUNT);
        cursor += lstrlenA(fileName) + 1;

        const WORD checksum = ReadTableWord(&cursor);
        if (ComputeFileChecksum(filePath) == checksum) {
            qualified = TRUE;
            break;
        }
    }
    CloseKitTable(&table);
    return qualified;
}
