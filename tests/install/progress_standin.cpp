// The progress display that installing reports through, in place of the
// install dialog's: these tests install without a dialog.
#include "progress_display.h"

void ShowProgress(HWND, DWORD, DWORD, const char*, const char*)
{
}
