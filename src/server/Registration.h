#pragma once

#include <windows.h>

// Size of the buffer that receives the text of a class id.
const int kClassIdTextSize = 260;

// Name of the handler class in its class key and in the shell's list of approved extensions.
extern const wchar_t kShellExtensionName[];
// Key, under HKEY_LOCAL_MACHINE, of the shell extensions that the NT family runs.
extern const char kApprovedExtensionsKey[];

// The class id as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in the ANSI code page, into a
// buffer of kClassIdTextSize bytes that ends with a zero byte. False when no text could be
// formed (the buffer is then empty).
bool FormatClassIdText(REFCLSID classId, char* text);

// DllRegisterServer and DllUnregisterServer are exported as declared in <olectl.h>.
