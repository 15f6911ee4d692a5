#include "base/Module.h"

HINSTANCE g_ModuleInstance = nullptr;
bool g_WideApisAvailable = false;
volatile LONG g_LiveObjectCount = 0;

bool IsNtPlatform()
{
    OSVERSIONINFOA info = {};
    static_assert(sizeof(info) == 148, "OSVERSIONINFOA is 148 bytes");
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info))
        return false;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
