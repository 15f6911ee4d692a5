#pragma once

#include <windows.h>

// The module's process-wide state. The DLL entry point sets the instance and the platform flag
// when the process attaches; the class factory and the handler keep the count.

// This module's own instance, saved when the process attaches.
extern HINSTANCE g_ModuleInstance;
// True when the platform is of the NT family: text goes through the wide entry points.
extern bool g_WideApisAvailable;
// Live class factories, handler objects and Explorer command objects (the provider, its
// sub-commands and their enumerators); changed with interlocked operations only.
extern volatile LONG g_LiveObjectCount;

// True exactly when GetVersionExA succeeds and reports VER_PLATFORM_WIN32_NT.
bool IsNtPlatform();
