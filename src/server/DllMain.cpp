#include "server/Module.h"

#include <windows.h>

// The loader calls this with the loader lock held: nothing here may load a library, create a
// thread or touch COM. The locks and the language table are static objects the runtime has
// already built; the language itself is loaded later, on first use.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        g_ModuleInstance = instance;
        // Windows 95 and 98 have only the ANSI entry points; the NT family has both.
        g_WideApisAvailable = IsNtPlatform();
    }
    return TRUE;
}
