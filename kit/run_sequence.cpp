#include "run_sequence.h"

#include <commctrl.h>

#include "app_versions.h"
#include "archive_list.h"
#include "archive_staging.h"
#include "kit_resources.h"
#include "registry_list.h"
#include "window_list.h"

namespace {

const DWORD kInitialPause = 3000;
const DWORD kFinalPause = 1000;
const char kUpdatingRegistry[] = "Updating registry...";

// One of the kit's own messages: string `textId` under the kit's title.
int ShowStringMessage(HWND owner, UINT textId, UINT style)
{
    char caption[KIT_PATH_SIZE];
    char text[KIT_PATH_SIZE];
    LoadKitString(IDS_TITLE, caption, KIT_TEXT_COUNT);
    LoadKitString(textId, text, KIT_TEXT_COUNT);
    return ShowKitMessage(owner, text, caption, style);
}

// Windows NT restarts only for a process that holds the shutdown privilege
// enabled. The calls are looked up at run time: Windows 95 has no such
// privileges, and the kit must load there too. Failures change nothing: the
// restart is asked for all the same.
void EnableShutdownPrivilege()
{
    typedef BOOL(WINAPI * OpenProcessTokenCall)(HANDLE, DWORD, HANDLE*);
    typedef BOOL(WINAPI * LookupPrivilegeValueCall)(const char*, const char*, LUID*);
    typedef BOOL(WINAPI * AdjustTokenPrivilegesCall)(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*);
    HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
    if (!advapi)
        return;
    auto openToken =
        reinterpret_cast<OpenProcessTokenCall>(reinterpret_cast<void*>(GetProcAddress(advapi, "OpenProcessToken")));
    auto lookup = reinterpret_cast<LookupPrivilegeValueCall>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "LookupPrivilegeValueA")));
    auto adjust = reinterpret_cast<AdjustTokenPrivilegesCall>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "AdjustTokenPrivileges")));
    HANDLE token;
    if (!openToken || !lookup || !adjust ||
        !openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (lookup(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        adjust(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

}  // namespace

BOOL RunInstall(DialogState* state)
{
    HWND dialog = state->dialog;
    char detectedText[KIT_PATH_SIZE] = {};
    char installDir[KIT_PATH_SIZE] = {};

    if (!FindQualifyingVersion(detectedText, installDir, KIT_TEXT_COUNT)) {
        ShowStringMessage(dialog, IDS_NO_QUALIFYING, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    if (CheckRunningApplications())
        return FALSE;  // the check has told the user

    SetInstallingState(state, 1);
    char initializing[KIT_PATH_SIZE];
    LoadKitString(IDS_INITIALIZING, initializing, KIT_TEXT_COUNT);
    ShowProgress(dialog, 0, 1, detectedText, initializing);
    Sleep(kInitialPause);

    ArchiveListEntry entry;
    for (int n = 0; GetArchiveListEntry(n, &entry, installDir); ++n) {
        ShowProgress(dialog, 0, 1, entry.progressText, "");
        if (!InstallArchive(dialog, &entry)) {
            // What is installed and scheduled stays; the registry is not
            // touched.
            ShowStringMessage(dialog, IDS_INSTALL_FAILED, MB_OK | MB_ICONEXCLAMATION);
            return FALSE;
        }
    }

    ShowProgress(dialog, 100, 100, kUpdatingRegistry, "");
    WriteRegistryList(installDir);
    Sleep(kFinalPause);
    return TRUE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    KitInstance = instance;
    // The progress bar's class must exist before the dialog is created.
    InitCommonControls();

    const INT_PTR completed =
        DialogBoxParamA(KitInstance, MAKEINTRESOURCEA(IDD_INSTALL), GetDesktopWindow(), InstallDialogProc, 0);
    // A dialog that could not be made (-1) ends the kit as Exit does.
    if (completed > 0 && ShowStringMessage(GetDesktopWindow(), IDS_COMPLETED, MB_YESNO | MB_ICONASTERISK) == IDYES)
        PostQuitMessage(1);
    else
        PostQuitMessage(0);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    const int exitCode = static_cast<int>(message.wParam);
    if (exitCode == 1) {
        EnableShutdownPrivilege();
        ExitWindowsEx(EWX_REBOOT, 0);
    }
    return exitCode;
}
