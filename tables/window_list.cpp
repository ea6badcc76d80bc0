#include "window_list.h"

#include "kit_resources.h"

namespace {

const int kCaptionSize = 128;
const int kFormatSize = 256;
const int kMessageSize = 512;

// Tells the user which program to close, naming it twice and the kit once.
void WarnRunning(const char* displayName)
{
    char caption[kCaptionSize];
    char format[kFormatSize];
    char message[kMessageSize];
    LoadKitString(IDS_TITLE, caption, kCaptionSize - 1);
    LoadKitString(IDS_APP_RUNNING, format, kFormatSize - 1);
    FormatBounded(message, kMessageSize, format, displayName, displayName, caption);
    ShowKitMessage(GetDesktopWindow(), message, caption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

BOOL CheckRunningApplications()
{
    KitTable table;
    if (!OpenKitTable(KIT_TABLE_WINDOW_LIST, &table))
        return FALSE;
    BOOL running = FALSE;
    const BYTE* cursor = table.data;
    while (TableRowFollows(cursor)) {
        char displayName[KIT_PATH_SIZE];
        char windowClass[KIT_PATH_SIZE];
        char windowTitle[KIT_PATH_SIZE];
        ReadTableString(&cursor, displayName);
        ReadTableString(&cursor, windowClass);
        ReadTableString(&cursor, windowTitle);
        // An empty name matches any window.
        if (FindWindowA(windowClass[0] ? windowClass : nullptr, windowTitle[0] ? windowTitle : nullptr)) {
            WarnRunning(displayName);
            running = TRUE;
            break;
        }
    }
    CloseKitTable(&table);
    return running;
}
