// A stand-in for a kit: the same modal dialog (template 100, the same control
// ids and states) and a message box at the end of "Install", chosen on the
// command line, so that the harness can prove what its driver reads.
//
//   dialog_standin [--icon hand|exclamation|asterisk|question|none]
//                  [--buttons ok|okcancel|yesno|yesnocancel]
//                  [--owner dialog|desktop] [--busy MS] [--after end|idle]
//                  [--text TEXT] [--restart yes] [--crash yes]
//
// Install (or Enter): the progress controls appear, the lines read
// "Installing the stand-in" / "Step 1" with the bar at 1 of 0..4; the program
// then blocks for --busy ms without pumping messages, shows "Step 2" at 3 of
// 0..4, and shows the message box. With --after end (the default) the dialog
// then ends and the exit code is 100 + the answer's id; with --after idle the
// dialog returns to its idle state. Exit, Escape and the close box end it
// with exit code 0. While idle the bar holds 5 of 0..7. With --restart yes, a
// Yes answer also asks the system to restart (ExitWindowsEx), as a kit does.
// With --crash yes, Install makes the program crash (an access violation).

// <windows.h> comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "kit_resource_ids.h"
#include "standin.h"

namespace {

struct Settings {
    UINT icon = MB_ICONQUESTION;
    UINT buttons = MB_YESNO;
    bool owned_by_dialog = true;
    DWORD busy_ms = 0;
    bool end_after_box = true;
    bool restart_on_yes = false;
    bool crash = false;
    const char* text = "The stand-in caf\xe9 is installed. Finish now?";
};

Settings settings;

bool parse(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (!std::strcmp(name, "--icon")) {
            if (!std::strcmp(value, "hand"))
                settings.icon = MB_ICONHAND;
            else if (!std::strcmp(value, "exclamation"))
                settings.icon = MB_ICONEXCLAMATION;
            else if (!std::strcmp(value, "asterisk"))
                settings.icon = MB_ICONASTERISK;
            else if (!std::strcmp(value, "question"))
                settings.icon = MB_ICONQUESTION;
            else if (!std::strcmp(value, "none"))
                settings.icon = 0;
            else
                return false;
        } else if (!std::strcmp(name, "--buttons")) {
            if (!std::strcmp(value, "ok"))
                settings.buttons = MB_OK;
            else if (!std::strcmp(value, "okcancel"))
                settings.buttons = MB_OKCANCEL;
            else if (!std::strcmp(value, "yesno"))
                settings.buttons = MB_YESNO;
            else if (!std::strcmp(value, "yesnocancel"))
                settings.buttons = MB_YESNOCANCEL;
            else
                return false;
        } else if (!std::strcmp(name, "--owner")) {
            if (!std::strcmp(value, "dialog"))
                settings.owned_by_dialog = true;
            else if (!std::strcmp(value, "desktop"))
                settings.owned_by_dialog = false;
            else
                return false;
        } else if (!std::strcmp(name, "--busy")) {
            settings.busy_ms = static_cast<DWORD>(std::strtoul(value, nullptr, 10));
        } else if (!std::strcmp(name, "--after")) {
            if (!std::strcmp(value, "end"))
                settings.end_after_box = true;
            else if (!std::strcmp(value, "idle"))
                settings.end_after_box = false;
            else
                return false;
        } else if (!std::strcmp(name, "--restart")) {
            settings.restart_on_yes = !std::strcmp(value, "yes");
        } else if (!std::strcmp(name, "--crash")) {
            settings.crash = !std::strcmp(value, "yes");
        } else if (!std::strcmp(name, "--text")) {
            settings.text = value;
        } else {
            return false;
        }
    }
    return true;
}

void set_installing(HWND dialog, bool installing)
{
    for (int id : {IDC_PROGRESS_LINE1, IDC_PROGRESS_LINE2, IDC_PROGRESS_BAR})
        ShowWindow(GetDlgItem(dialog, id), installing ? SW_SHOW : SW_HIDE);
    EnableWindow(GetDlgItem(dialog, IDC_PROGRESS_GROUP), installing);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL), !installing);
}

void set_bar(HWND dialog, WORD high, WPARAM pos)
{
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, high));
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, pos, 0);
}

void install(HWND dialog)
{
    if (settings.crash)
        *static_cast<volatile int*>(nullptr) = 1;
    set_installing(dialog, true);
    SetDlgItemTextA(dialog, IDC_PROGRESS_LINE1, "Installing the stand-in");
    SetDlgItemTextA(dialog, IDC_PROGRESS_LINE2, "Step 1");
    set_bar(dialog, 4, 1);
    if (settings.busy_ms)
        Sleep(settings.busy_ms);
    SetDlgItemTextA(dialog, IDC_PROGRESS_LINE2, "Step 2");
    set_bar(dialog, 4, 3);

    char caption[128];
    LoadStringA(GetModuleHandleA(nullptr), IDS_TITLE, caption, sizeof caption);
    UINT style = settings.buttons | settings.icon;
    MessageBeep(settings.icon);
    int answer = MessageBoxA(settings.owned_by_dialog ? dialog : GetDesktopWindow(), settings.text, caption, style);
    if (settings.end_after_box) {
        EndDialog(dialog, 100 + answer);
        return;
    }
    set_installing(dialog, false);
}

INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        RECT rect;
        GetWindowRect(dialog, &rect);
        int width = rect.right - rect.left, height = rect.bottom - rect.top;
        MoveWindow(dialog, (GetSystemMetrics(SM_CXSCREEN) - width) >> 1, (GetSystemMetrics(SM_CYSCREEN) - height) >> 1,
                   width, height, TRUE);
        set_bar(dialog, 7, 5);
        set_installing(dialog, false);
        SetFocus(GetDlgItem(dialog, IDC_INSTALL));
        return FALSE;
    }
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_INSTALL:
            install(dialog);
            break;
        case IDC_EXIT:
            EndDialog(dialog, 0);
            break;
        }
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (!parse(__argc, __argv))
        return 2;
    InitCommonControls();
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_INSTALL), GetDesktopWindow(), dialog_proc, 0);
    if (settings.restart_on_yes && result == 100 + IDYES)
        ExitWindowsEx(EWX_REBOOT, 0);
    return static_cast<int>(result);
}
