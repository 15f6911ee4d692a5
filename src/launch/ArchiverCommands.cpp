#include "launch/ArchiverCommands.h"

#include "base/TextConvert.h"
#include "launch/Launch.h"
#include "settings/RegistryKey.h"
#include "settings/Settings.h"

#include <cstdlib>
#include <cstring>

namespace
{
const DWORD kNameListFailed = 0x80004005; // E_FAIL: the mapping could not be created or mapped

const char kLargePagesValue[] = "LargePages";
static_assert(KEY_READ == 0x20019, "the settings are opened for reading only");

const wchar_t kCompressPrefix[] = L"VNTXCompress";
const wchar_t kExtractPrefix[] = L"VNTXExtract";
const wchar_t kMappingSuffix[] = L"Mapping";
const wchar_t kEndEventSuffix[] = L"MappingEndEvent";

// Another launch (in any process) may hold the name a number gives; the next number is tried
// then. Every number of the generator comes up within the limit's draws, so only a system
// whose whole name range is taken gives up, and then like a failed creation.
volatile LONG s_NameAttemptLimit = kNameAttemptLimit;

// The largest block announced: the size travels as a decimal on the command line and the
// archiver maps it in one piece.
const unsigned long long kMaxBlockSize = 0x7FFFFFFF;

// Large pages are a setting of the archiver's own; it is read anew for every command line and
// without the settings lock, as the archiver reads it.
bool LargePagesEnabled()
{
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsRootPath, KEY_READ) != ERROR_SUCCESS)
        return false;
    bool enabled = false;
    if (key.QueryValue(kLargePagesValue, enabled) != ERROR_SUCCESS)
        return false;
    return enabled;
}

void AppendDecimal(CWideString& text, unsigned long long value)
{
    wchar_t digits[24];
    int count = 0;
    do
    {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        text += digits[--count];
}

CWideString NumberedName(const CWideString& prefix, int number)
{
    CWideString name(prefix);
    AppendDecimal(name, static_cast<unsigned>(number));
    return name;
}

// Creates the object under `prefix` and a number the generator draws: `create` (name) makes it in
// `owner` and gives 0 or the system's error, which ends the search. A name another launch (in any
// process) holds is given up, never used: its list is someone else's. ERROR_ALREADY_EXISTS when
// every number tried was taken.
template <typename TCreate>
DWORD CreateUnique(const CWideString& prefix, CKernelHandle& owner, CWideString& name, TCreate create)
{
    srand(GetTickCount());
    const unsigned limit = static_cast<unsigned>(s_NameAttemptLimit);
    for (unsigned attempt = 0; attempt < limit; attempt++)
    {
        name = NumberedName(prefix, rand());
        const CNarrowString systemName = SystemTextFromWide(name);
        SetLastError(0);
        const DWORD error = create(systemName.Ptr());
        if (error != 0)
            return error;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
        owner.Close();
    }
    return ERROR_ALREADY_EXISTS;
}

void AppendSlp(CWideString& commandLine)
{
    if (!LargePagesEnabled())
        commandLine += L" -slp-";
}
} // namespace

unsigned SetNameAttemptLimit(unsigned attempts)
{
    return static_cast<unsigned>(InterlockedExchange(&s_NameAttemptLimit, static_cast<LONG>(attempts)));
}

DWORD NameListBlockSize(const COwningVector<CWideString>& names)
{
    unsigned long long size = sizeof(wchar_t);
    for (int i = 0; i < names.Count(); i++)
    {
        size += sizeof(wchar_t) * (static_cast<unsigned long long>(names[i].Length()) + 1);
        if (size > kMaxBlockSize)
            return 0;
    }
    return static_cast<DWORD>(size);
}

void WriteNameListBlock(const COwningVector<CWideString>& names, void* block)
{
    wchar_t* unit = static_cast<wchar_t*>(block);
    *unit++ = 0;
    for (int i = 0; i < names.Count(); i++)
    {
        const CWideString& name = names[i];
        // With its terminator: each name ends in one zero unit.
        std::memcpy(unit, name.Ptr(), (static_cast<size_t>(name.Length()) + 1) * sizeof(wchar_t));
        unit += name.Length() + 1;
    }
}

DWORD CreateNameListMapping(const COwningVector<CWideString>& names, const wchar_t* prefix, CNamedFileMapping& mapping,
                            CNamedEvent& endEvent, CWideString& commandLine)
{
    const DWORD size = NameListBlockSize(names);
    if (size == 0)
        return kNameListFailed;

    CWideString mappingName;
    if (CreateUnique(CWideString(prefix) + kMappingSuffix, mapping, mappingName,
                     [&](const char* name)
                     { return mapping.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, size, name); }) != 0)
        return kNameListFailed;

    // A manual-reset event, not signalled.
    CWideString eventName;
    const DWORD eventError = CreateUnique(CWideString(prefix) + kEndEventSuffix, endEvent, eventName,
                                          [&](const char* name) { return endEvent.Create(true, false, name); });
    if (eventError != 0)
        return eventError;

    commandLine += mappingName;
    commandLine += L':';
    AppendDecimal(commandLine, size);
    commandLine += L':';
    commandLine += eventName;

    CMappedView view(mapping.MapView(FILE_MAP_WRITE, 0, size));
    if (view.Get() == nullptr)
        return kNameListFailed;
    // The block is complete before the archiver can exist; nobody writes to it afterwards.
    WriteNameListBlock(names, view.Get());
    return 0;
}

DWORD CompressFiles(const CWideString& workingFolder, const CWideString& archiveName, const CWideString& archiveType,
                    const COwningVector<CWideString>& names, bool email, bool showDialog, bool waitForExit)
{
    CWideString commandLine;
    if (!GetArchiverPath(commandLine))
        return ERROR_FILE_NOT_FOUND;
    commandLine += L" a";
    commandLine += L" -i#";

    CNamedFileMapping mapping;
    CNamedEvent endEvent;
    const DWORD error = CreateNameListMapping(names, kCompressPrefix, mapping, endEvent, commandLine);
    if (error != 0)
        return error;

    if (!archiveType.IsEmpty())
    {
        commandLine += L" -t";
        commandLine += archiveType;
    }
    if (email)
        commandLine += L" -seml.";
    if (showDialog)
        commandLine += L" -ad";
    AppendSlp(commandLine);
    commandLine += L" --";
    commandLine += L" ";
    // Always present, even empty: the archiver then asks for a name.
    commandLine += QuoteArgument(archiveName);

    return LaunchProcess(commandLine, workingFolder.IsEmpty() ? nullptr : workingFolder.Ptr(), waitForExit, &endEvent,
                         &mapping);
}

DWORD ExtractArchives(const COwningVector<CWideString>& archiveNames, const CWideString& outputFolder, bool showDialog)
{
    CWideString commandLine;
    if (!GetArchiverPath(commandLine))
        return ERROR_FILE_NOT_FOUND;
    commandLine += L" x";
    if (!outputFolder.IsEmpty())
    {
        commandLine += L" -o";
        commandLine += QuoteArgument(outputFolder);
    }
    if (showDialog)
        commandLine += L" -ad";
    return RunArchiverWithNameList(archiveNames, commandLine, kExtractPrefix);
}

DWORD TestArchives(const COwningVector<CWideString>& archiveNames)
{
    CWideString commandLine;
    if (!GetArchiverPath(commandLine))
        return ERROR_FILE_NOT_FOUND;
    commandLine += L" t";
    return RunArchiverWithNameList(archiveNames, commandLine, kExtractPrefix);
}

DWORD RunArchiverWithNameList(const COwningVector<CWideString>& names, CWideString& commandLine,
                              const wchar_t* mappingPrefix)
{
    AppendSlp(commandLine);
    commandLine += L" -an";
    commandLine += L" -ai#";

    CNamedFileMapping mapping;
    CNamedEvent endEvent;
    const DWORD error = CreateNameListMapping(names, mappingPrefix, mapping, endEvent, commandLine);
    if (error != 0)
        return error;
    return LaunchProcess(commandLine, nullptr, false, &endEvent, &mapping);
}
