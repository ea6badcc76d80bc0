// The running-application check: the WindowList table names top-level
// windows whose presence means a program of the product is open.
//
// Row: display name, window class, window title (strings; an empty class or
// title matches any).
#pragma once

#include <windows.h>

// 1 when a listed window exists (the user has been told which program to
// close), 0 when none does or the table is missing.
BOOL CheckRunningApplications();
