// The kit's spine: the entry point, the install sequence behind the Install
// button, the completion prompt and the restart.
#pragma once

#include <windows.h>

#include "install_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// Runs the whole installation inside the dialog's Install command. TRUE when
// it completed (the dialog then ends with 1); FALSE when it did not, after
// the user has been told why.
BOOL RunInstall(DialogState* state);
