#include "menu/ShellMenuHandler.h"

#include "base/ComBoundary.h"
#include "base/Platform.h"
#include "base/TextConvert.h"
#include "menu/CommandTable.h"
#include "menu/OfferedCommands.h"

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

        // The shell hears S_OK whatever the launch gave: a failure to prepare it has been shown to
        // the user, and nothing else is reported.
        const CCommandMapEntry entry(CommandMap[offset]);
        CarryOutCommand(entry, SelectedNames);
    }
    catch (...)
    {
        // The verb could not be looked up (memory ran out before the launch).
        ShowCommandError();
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
