#pragma once

#include <windows.h>

// This module's own instance, saved when the process attaches.
extern HINSTANCE g_ModuleInstance;
// True when the platform is of the NT family: text goes through the wide entry points.
extern bool g_WideApisAvailable;
// Live class factories and handler objects; changed with interlocked operations only.
extern volatile LONG g_LiveObjectCount;

// True exactly when GetVersionExA succeeds and reports VER_PLATFORM_WIN32_NT.
bool IsNtPlatform();
