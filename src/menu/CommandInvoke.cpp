#include "menu/ShellMenuHandler.h"

#include "base/ComBoundary.h"
#include "base/Platform.h"
#include "base/TextConvert.h"
#include "launch/ArchiverCommands.h"
#include "launch/Launch.h"
#include "menu/CommandTable.h"
#include "resources/ResourceIds.h"

#include <cstddef>
#include <cstring>

namespace
{
// The shell hands over either the original record (36 bytes, 56 in a 64-bit host) or the extended
// one (64 bytes, 104 in a 64-bit host); only the extended one can carry a wide verb.
static_assert(sizeof(CMINVOKECOMMANDINFO) == ArchValue(36, 56), "invocation record");
static_assert(sizeof(CMINVOKECOMMANDINFOEX) == ArchValue(64, 104), "extended invocation record");
static_assert(offsetof(CMINVOKECOMMANDINFO, lpVerb) == ArchValue(12, 16), "ANSI verb field");
static_assert(offsetof(CMINVOKECOMMANDINFOEX, lpVerbW) == ArchValue(40, 64), "wide verb field");
static_assert(CMIC_MASK_UNICODE == 0x4000, "the wide-verb mask bit");

// A verb field holds either a pointer to text or, in its low word, a command offset; a pointer is
// never below 64 KB. The whole pointer is tested: in a 64-bit host a text above 4 GB may have a
// zero second word.
bool IsVerbOffset(const void* verb)
{
    return (reinterpret_cast<UINT_PTR>(verb) >> 16) == 0;
}

const wchar_t kFileManagerProgram[] = L"VNTXFM.exe";
const UINT kLaunchErrorLangId = 0x02000605;

enum class ECommandAction
{
    Open,
    Extract,
    Test,
    Compress,
};

// What each command id of the table does when it is chosen.
struct CCommandAction
{
    ECommandId CommandId;
    ECommandAction Action;
    bool Email;
    bool ShowDialog;
};

const CCommandAction kCommandActions[] = {
    {CommandOpen, ECommandAction::Open, false, false},
    {CommandExtract, ECommandAction::Extract, false, true},
    {CommandExtractHere, ECommandAction::Extract, false, false},
    {CommandExtractTo, ECommandAction::Extract, false, false},
    {CommandTest, ECommandAction::Test, false, false},
    {CommandCompress, ECommandAction::Compress, false, true},
    {CommandCompressEmail, ECommandAction::Compress, true, true},
    {CommandCompressToVNTX, ECommandAction::Compress, false, false},
    {CommandCompressToVNTXEmail, ECommandAction::Compress, true, false},
    {CommandCompressToZip, ECommandAction::Compress, false, false},
    {CommandCompressToZipEmail, ECommandAction::Compress, true, false},
};

const CCommandAction* FindCommandAction(UINT commandId)
{
    for (const CCommandAction& action : kCommandActions)
        if (action.CommandId == commandId)
            return &action;
    return nullptr; // the submenu's own entry: nothing to do
}

// The shell says how many units its buffer holds. Everything copied, the terminator included,
// stays inside that count: a help text is cut to fit (never inside a character), a verb that does
// not fit is refused, since a cut verb would name another command or none.
bool CopyCommandString(void* buffer, UINT bufferSize, const CWideString& text, bool wide, bool mayCut)
{
    if (buffer == nullptr || bufferSize == 0)
        return false;
    if (wide)
    {
        int count = text.Length();
        if (static_cast<UINT>(count) >= bufferSize)
        {
            if (!mayCut)
                return false;
            count = static_cast<int>(bufferSize - 1);
            if (count > 0 && IS_HIGH_SURROGATE(text[count - 1]))
                count--;
        }
        wchar_t* target = static_cast<wchar_t*>(buffer);
        std::memcpy(target, text.Ptr(), count * sizeof(wchar_t));
        target[count] = 0;
        return true;
    }
    // Unmappable characters become "_".
    const CNarrowString narrow = SystemTextFromWide(text);
    int count = narrow.Length();
    if (static_cast<UINT>(count) >= bufferSize)
    {
        if (!mayCut)
            return false;
        // Walk whole characters, so that no lead byte stays without its trail byte.
        int kept = 0;
        while (kept < narrow.Length())
        {
            const int step = IsDBCSLeadByte(static_cast<BYTE>(narrow[kept])) && kept + 1 < narrow.Length() ? 2 : 1;
            if (static_cast<UINT>(kept + step) > bufferSize - 1)
                break;
            kept += step;
        }
        count = kept;
    }
    char* target = static_cast<char*>(buffer);
    std::memcpy(target, narrow.Ptr(), count);
    target[count] = 0;
    return true;
}
} // namespace

int CShellMenuHandler::FindVerb(const CWideString& verb) const
{
    // Verbs are language-independent names: matched exactly, case included.
    for (int i = 0; i < CommandMap.Count(); i++)
        if (CommandMap[i].Verb.Compare(verb) == 0)
            return i;
    return -1;
}

bool CShellMenuHandler::BuildOpenCommandLine(CWideString& commandLine) const
{
    // The file manager opens one archive: the first of the selection.
    CWideString program;
    if (!GetProgramPath(kFileManagerProgram, program))
        return false;
    commandLine = QuoteArgument(program);
    commandLine += L' ';
    commandLine += QuoteArgument(SelectedNames[0]);
    return true;
}

STDMETHODIMP CShellMenuHandler::InvokeCommand(LPCMINVOKECOMMANDINFO info)
{
    if (info == nullptr || info->cbSize < offsetof(CMINVOKECOMMANDINFO, lpVerb) + sizeof(info->lpVerb))
        return E_INVALIDARG;
    try
    {
        // In the extended record with the wide mask the wide field alone decides, offset or
        // text: the ANSI field beside it may hold a text whose address, read as an offset, would
        // name an arbitrary command.
        int offset;
        const CMINVOKECOMMANDINFOEX* extended = reinterpret_cast<const CMINVOKECOMMANDINFOEX*>(info);
        if (info->cbSize == sizeof(CMINVOKECOMMANDINFOEX) && (info->fMask & CMIC_MASK_UNICODE) != 0)
            offset = IsVerbOffset(extended->lpVerbW) ? static_cast<int>(reinterpret_cast<UINT_PTR>(extended->lpVerbW))
                                                     : FindVerb(CWideString(extended->lpVerbW));
        else if (!IsVerbOffset(info->lpVerb))
            offset = FindVerb(WideFromSystemText(CNarrowString(info->lpVerb)));
        else
            offset = static_cast<int>(reinterpret_cast<UINT_PTR>(info->lpVerb));
        if (offset < 0 || offset >= CommandMap.Count())
            return E_FAIL;

        const CCommandMapEntry entry(CommandMap[offset]);
        const CCommandAction* action = FindCommandAction(entry.CommandId);
        if (action == nullptr)
            return S_OK;

        // What the launch returns is not shown: a missing program or a failed hand-over leaves
        // the shell as it was, and the archiver reports its own errors.
        switch (action->Action)
        {
        case ECommandAction::Open:
            // A new selection may have come after the menu was built; with none, there is
            // nothing to open. Without our own folder there is no file manager of ours to start.
            if (!SelectedNames.IsEmpty())
            {
                CWideString commandLine;
                if (BuildOpenCommandLine(commandLine))
                    LaunchProcess(commandLine, nullptr, false, nullptr);
            }
            break;
        case ECommandAction::Extract:
            ExtractArchives(SelectedNames, entry.Folder, action->ShowDialog);
            break;
        case ECommandAction::Test:
            TestArchives(SelectedNames);
            break;
        case ECommandAction::Compress:
            CompressFiles(entry.Folder, entry.ArchiveName, entry.ArchiveType, SelectedNames, action->Email,
                          action->ShowDialog, false);
            break;
        }
    }
    catch (...)
    {
        // The launch could not be prepared (memory ran out): the user learns that the command
        // failed, and the shell gets its S_OK.
        try
        {
            ShowLangError(nullptr, IDS_ERROR, kLaunchErrorLangId);
        }
        catch (...)
        {
            // Not even the error text could be had; nothing else can be reported.
        }
    }
    return S_OK;
}

STDMETHODIMP CShellMenuHandler::GetCommandString(UINT_PTR offsetValue, UINT type, UINT*, LPSTR buffer, UINT bufferSize)
{
    // Compared whole: an offset that a 64-bit host passes above 4 GB is out of range, not cut.
    const bool inRange = offsetValue < static_cast<UINT_PTR>(CommandMap.Count());
    const int offset = inRange ? static_cast<int>(offsetValue) : -1;
    switch (type)
    {
    case GCS_VALIDATEA:
    case GCS_VALIDATEW:
        return inRange ? S_OK : S_FALSE;
    case GCS_HELPTEXTA:
    case GCS_HELPTEXTW:
    case GCS_VERBA:
    case GCS_VERBW:
        break;
    default:
        return E_FAIL;
    }
    if (!inRange)
        return E_FAIL;
    try
    {
        const bool wide = (type & GCS_UNICODE) != 0;
        const bool isHelp = (type & GCS_HELPTEXTA) != 0;
        const CCommandMapEntry& entry = CommandMap[offset];
        if (!CopyCommandString(buffer, bufferSize, isHelp ? entry.HelpText : entry.Verb, wide, isHelp))
            return E_FAIL;
        return S_OK;
    }
    catch (...)
    {
        return HResultFromCaughtException();
    }
}
