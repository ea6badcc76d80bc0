// The Win32 surface the archive engine is written against.
//
// On Windows this is <windows.h> itself. Everywhere else it is the small
// subset declared in native_win32.h and implemented over POSIX, so the engine
// compiles and runs unchanged on the build host.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "native_win32.h"
#endif
