#include "base/Module.h"

#include <windows.h>

#include <cstdlib>
#include <exception>

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

// The C++ runtime's default terminate handler prints the type of the exception that escaped, and
// for that it brings the whole name demangler and a formatted-output library into the module,
// about a fifth of its size. Inside Explorer there is nowhere to print to, so this module
// ends the process the way that handler does in the end. Only the module is linked with this
// file; the test programs keep the talkative handler.
namespace __gnu_cxx
{
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx
