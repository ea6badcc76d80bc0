// The install dialog: the kit's only window, with its idle and installing
// states, and the progress display that the install steps report through.
#pragma once

#include <windows.h>

#include "progress_display.h"

struct DialogState {
    HWND dialog;
    int installing;  // 1 while the controls are in the installing state
};

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Idle: progress lines and bar hidden, the group disabled, Install enabled.
// Installing: the opposite; Exit stays enabled in both.
void SetInstallingState(DialogState* state, int installing);
