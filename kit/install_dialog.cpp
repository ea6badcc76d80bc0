#include "install_dialog.h"

#include <commctrl.h>

#include "kit_resources.h"
#include "run_sequence.h"

namespace {

BOOL OnInitDialog(HWND dialog)
{
    DialogState* state = static_cast<DialogState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DialogState)));
    if (!state) {
        DestroyWindow(dialog);
        return FALSE;
    }
    state->dialog = dialog;
    state->installing = 0;
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));

    // Centred on the screen; a dialog larger than the screen gets a negative
    // edge, rounded towards minus infinity.
    RECT rect;
    GetWindowRect(dialog, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) >> 1;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) >> 1;
    MoveWindow(dialog, left, top, width, height, TRUE);

    HBITMAP picture = LoadBitmapA(KitInstance, MAKEINTRESOURCEA(IDB_KIT_PICTURE));
    SendDlgItemMessageA(dialog, IDC_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));

    SetInstallingState(state, 0);
    SetFocus(GetDlgItem(dialog, IDC_INSTALL));
    // The focus is set: the dialog manager must not move it again.
    return FALSE;
}

void OnCommand(DialogState* state, int id)
{
    switch (id) {
    case IDC_INSTALL:  // also Enter: Install is the default button
        if (RunInstall(state))
            EndDialog(state->dialog, 1);
        SetInstallingState(state, 0);
        break;
    case IDC_EXIT:  // also Escape and the close box
        EndDialog(state->dialog, 0);
        break;
    default:
        break;
    }
}

}  // namespace

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    DialogState* state = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        if (state)
            OnCommand(state, LOWORD(wParam));
        return TRUE;
    case WM_DESTROY:
        if (state) {
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            HeapFree(GetProcessHeap(), 0, state);
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void SetInstallingState(DialogState* state, int installing)
{
    state->installing = installing;
    const int show = installing ? SW_SHOW : SW_HIDE;
    ShowWindow(GetDlgItem(state->dialog, IDC_PROGRESS_LINE1), show);
    ShowWindow(GetDlgItem(state->dialog, IDC_PROGRESS_LINE2), show);
    ShowWindow(GetDlgItem(state->dialog, IDC_PROGRESS_BAR), show);
    EnableWindow(GetDlgItem(state->dialog, IDC_PROGRESS_GROUP), installing);
    EnableWindow(GetDlgItem(state->dialog, IDC_INSTALL), !installing);
}

void ShowProgress(HWND dialog, DWORD position, DWORD rangeMax, const char* firstLine, const char* secondLine)
{
    if (firstLine)
        SendDlgItemMessageA(dialog, IDC_PROGRESS_LINE1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(firstLine));
    if (secondLine)
        SendDlgItemMessageA(dialog, IDC_PROGRESS_LINE2, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(secondLine));
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, rangeMax & 0xFFFF));
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
}
