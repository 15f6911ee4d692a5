#pragma once

#include <windows.h>

// Hosts the options plug-in of Vantor.dll the way the file manager does: loads the module beside
// the program, obtains the options object through its exports and shows the options sheet,
// owned by `parent` (may be null). Returns the program's exit code.
int RunPluginHost(HWND parent);
