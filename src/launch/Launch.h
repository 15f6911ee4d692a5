#pragma once

#include "base/Sync.h"
#include "base/WideString.h"

#include <windows.h>

// One double quote, the text unchanged, one double quote; nothing inside is escaped.
CWideString QuoteArgument(const CWideString& text);
// The quoted path of "VNTXG.exe" beside this module.
CWideString GetArchiverPath();
// 0 when the process was started, otherwise the system's error code of the failed start.
// `workingFolder` may be null. With `waitForExit` the call waits for the process to exit; else,
// with an end event, until the process exits or the event is signalled.
DWORD LaunchProcess(const CWideString& commandLine, const wchar_t* workingFolder, bool waitForExit,
                    CNamedEvent* endEvent);
// An error box with the caption "Vantor" (style MB_OK | MB_ICONERROR).
void ShowErrorText(HWND owner, const CWideString& text);
void ShowLangError(HWND owner, UINT resourceId, UINT langId);
