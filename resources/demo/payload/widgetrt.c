/* The Widget runtime library of the demo kit: one exported function that
   names the library's version. */
#include <windows.h>

__declspec(dllexport) const char* WidgetRuntimeVersion(void)
{
    return "Widget runtime 2.1";
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
