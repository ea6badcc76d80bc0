// The progress display that installing reports through: two text lines and
// a bar. The install dialog (kit/install_dialog.cpp) provides it; declaring
// it here keeps installing free of the dialog's other workings.
#pragma once

#include <windows.h>

// Sets the two progress lines (null leaves a line as it is, "" clears it),
// the bar's range 0..rangeMax (low 16 bits) and its position.
void ShowProgress(HWND dialog, DWORD position, DWORD rangeMax, const char* firstLine, const char* secondLine);
