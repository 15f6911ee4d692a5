#include "launch/Launch.h"

#include "base/Module.h"
#include "base/Platform.h"
#include "base/TextConvert.h"
#include "lang/Language.h"

#include <cstddef>

const wchar_t kArchiverProgram[] = L"VNTXG.exe";

namespace
{
const wchar_t kErrorCaption[] = L"Vantor";
const UINT kErrorBoxStyle = MB_OK | MB_ICONERROR;
static_assert(kErrorBoxStyle == 0x10, "an OK button and the stop-sign icon");

// The start-up record carries its size only: the new process gets the default placement.
static_assert(sizeof(STARTUPINFOW) == ArchValue(68, 104) && sizeof(STARTUPINFOA) == ArchValue(68, 104),
              "start-up record");
static_assert(offsetof(PROCESS_INFORMATION, dwProcessId) == ArchValue(8, 16), "process record");

volatile LONG s_NameListWaitLimit = kNameListWaitLimit;

// A failed start must never read as success, even if the system left no error code.
DWORD FailedStartError()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

DWORD StartProcess(const CWideString& commandLine, const wchar_t* workingFolder, PROCESS_INFORMATION& process)
{
    if (g_WideApisAvailable)
    {
        // CreateProcessW may write into the command line, so it gets a copy of its own.
        CWideString buffer(commandLine);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(nullptr, buffer.BufferForWrite(buffer.Length()), nullptr, nullptr, FALSE, 0, nullptr,
                            workingFolder, &startup, &process))
            return FailedStartError();
        return 0;
    }
    // Windows 98: characters the ANSI code page lacks arrive as "_".
    CNarrowString buffer = SystemTextFromWide(commandLine);
    CNarrowString folder;
    if (workingFolder != nullptr)
        folder = SystemTextFromWide(CWideString(workingFolder));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessA(nullptr, buffer.BufferForWrite(buffer.Length()), nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder != nullptr ? folder.Ptr() : nullptr, &startup, &process))
        return FailedStartError();
    return 0;
}

// The archiver has neither taken its list nor exited within the limit. Closing our handles now
// would destroy a list that a slowly starting archiver has yet to read; keeping them would hold
// the shell's thread for as long as the archiver likes. So the archiver itself becomes an owner
// of both objects: they live until it reads them or exits, and the shell goes on.
void HandOverToProcess(HANDLE process, HANDLE object)
{
    if (object == nullptr)
        return;
    HANDLE duplicate = nullptr;
    DuplicateHandle(GetCurrentProcess(), object, process, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS);
    // The duplicate belongs to the archiver and goes away with it; nothing to close here.
}
} // namespace

CWideString QuoteArgument(const CWideString& text)
{
    CWideString quoted(L'"');
    quoted += text;
    quoted += L'"';
    return quoted;
}

bool GetProgramPath(const wchar_t* fileName, CWideString& path)
{
    if (!GetModuleFolder(path))
    {
        path.ClearText();
        return false;
    }
    path += fileName;
    return true;
}

bool GetArchiverPath(CWideString& quotedPath)
{
    CWideString path;
    if (!GetProgramPath(kArchiverProgram, path))
    {
        quotedPath.ClearText();
        return false;
    }
    quotedPath = QuoteArgument(path);
    return true;
}

DWORD SetNameListWaitLimit(DWORD milliseconds)
{
    return static_cast<DWORD>(InterlockedExchange(&s_NameListWaitLimit, static_cast<LONG>(milliseconds)));
}

DWORD LaunchProcess(const CWideString& commandLine, const wchar_t* workingFolder, bool waitForExit,
                    CNamedEvent* endEvent, CNamedFileMapping* nameList)
{
    PROCESS_INFORMATION started = {};
    const DWORD error = StartProcess(commandLine, workingFolder, started);
    if (error != 0)
        return error;
    CKernelHandle process(started.hProcess);
    CKernelHandle(started.hThread).Close();

    if (waitForExit)
    {
        WaitForSingleObject(process.GetHandle(), INFINITE);
    }
    else if (endEvent != nullptr && endEvent->GetHandle() != nullptr)
    {
        // Whichever comes first: the archiver has taken the list, or it has gone.
        const HANDLE handles[2] = {process.GetHandle(), endEvent->GetHandle()};
        const DWORD limit = static_cast<DWORD>(s_NameListWaitLimit);
        if (WaitForMultipleObjects(2, handles, FALSE, limit) == WAIT_TIMEOUT)
        {
            HandOverToProcess(process.GetHandle(), endEvent->GetHandle());
            if (nameList != nullptr)
                HandOverToProcess(process.GetHandle(), nameList->GetHandle());
        }
    }
    return 0;
}

void ShowErrorText(HWND owner, const CWideString& text)
{
    // The wide message box exists on Windows 98 as well, so there is one path only.
    MessageBoxW(owner, text, kErrorCaption, kErrorBoxStyle);
}

void ShowLangError(HWND owner, UINT resourceId, UINT langId)
{
    ShowErrorText(owner, LangTextOr(resourceId, langId));
}
