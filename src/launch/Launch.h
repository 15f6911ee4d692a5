#pragma once

#include "base/Sync.h"
#include "base/WideString.h"

#include <windows.h>

// The archiver's program file, beside this module.
extern const wchar_t kArchiverProgram[];

// One double quote, the text unchanged, one double quote; nothing inside is escaped.
CWideString QuoteArgument(const CWideString& text);
// The module folder followed by `fileName`, unquoted. False (and an empty path) when the module
// folder cannot be obtained: the system would look for a bare name in the host's current folder
// first, and a program planted there must never be started as ours.
bool GetProgramPath(const wchar_t* fileName, CWideString& path);
// The quoted path of "VNTXG.exe" beside this module; false (empty) as GetProgramPath.
bool GetArchiverPath(CWideString& quotedPath);

// How long a launch with an end event keeps the calling thread waiting for the archiver to
// take its name list, in milliseconds.
const DWORD kNameListWaitLimit = 30000;
// For tests only: replaces the limit above; returns the limit in force before.
DWORD SetNameListWaitLimit(DWORD milliseconds);

// 0 when the process was started, otherwise the system's error code of the failed start.
// `workingFolder` may be null. With `waitForExit` the call waits for the process to exit; else,
// with an end event, until the process exits or the event is signalled, for at most the name
// list wait limit. When that limit passes, the end event and `nameList` (may be null) are
// duplicated into the started process, so that the objects live on for as long as it runs.
DWORD LaunchProcess(const CWideString& commandLine, const wchar_t* workingFolder, bool waitForExit,
                    CNamedEvent* endEvent, CNamedFileMapping* nameList = nullptr);
// An error box with the caption "Vantor" (style MB_OK | MB_ICONERROR).
void ShowErrorText(HWND owner, const CWideString& text);
void ShowLangError(HWND owner, UINT resourceId, UINT langId);
