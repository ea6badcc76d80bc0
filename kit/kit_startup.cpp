// The kit's entry point. There is no C runtime: the process starts here,
// runs WinMain and ends with its result.
#include <windows.h>

#include "run_sequence.h"

extern "C"
#ifdef __i386__
    // Windows enters with 4-byte stack alignment; the compiler assumes 16.
    __attribute__((force_align_arg_pointer))
#endif
    void
    KitStartup()
{
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT)));
}
