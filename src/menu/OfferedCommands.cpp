#include "menu/OfferedCommands.h"

#include "base/ComBoundary.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "lang/Language.h"
#include "launch/ArchiverCommands.h"
#include "launch/Launch.h"
#include "menu/ArchiveNames.h"
#include "resources/ResourceIds.h"

namespace
{
const wchar_t kTypeZip[] = L"zip";
const wchar_t kTypeVntx[] = L"VNTX";
const wchar_t kZipSuffix[] = L".zip";
const wchar_t kVntxSuffix[] = L".VNTX";
// ExtractTo with several archives: each goes to a folder named after itself.
const wchar_t kEachArchiveFolder[] = L"*";

// Ids the two blocks ask to be free beyond the next id before they offer anything.
const UINT kSingleItemIdWindow = 6;
const UINT kMainBlockIdWindow = 10;

const wchar_t kFileManagerProgram[] = L"VNTXFM.exe";
const UINT kLaunchErrorLangId = 0x02000605;

// True when `count` ids beyond the next one still fit below the last. Written so that a window
// near the top of the range cannot wrap around and pass.
bool IdsAvailable(const CIdWindow& window, UINT count)
{
    return window.NextId <= window.LastId && window.LastId - window.NextId >= count;
}

// The commands being listed; each takes the next id of the window.
struct CListing
{
    COwningVector<COfferedCommand>& Offered;
    CIdWindow Window;
    DWORD Mask;

    // Offers command `commandId` when its bit is in the mask. `placeholder`, when given, is the
    // name shown for "{0}".
    void AddIfEnabled(ECommandId commandId, const CWideString& folder, const CWideString& archiveName,
                      const wchar_t* archiveType, const CWideString* placeholder)
    {
        const int row = FindCommandRow(commandId);
        if (row < 0 || (Mask & g_MenuCommands[row].Flag) == 0)
            return;
        COfferedCommand command;
        FillCommandEntry(commandId, command.Text, command.Entry);
        command.Entry.Folder = folder;
        command.Entry.ArchiveName = archiveName;
        command.Entry.ArchiveType = archiveType;
        if (placeholder != nullptr)
            command.Text = FormatArg(command.Text, QuoteForMenu(*placeholder));
        Offered.Add(command);
        Window.NextId++;
    }
};

HRESULT ListInto(const COwningVector<CWideString>& names, const CWideString* dropFolder, CListing& listing)
{
    if (names.IsEmpty())
        return E_FAIL;
    const CWideString empty;
    const CWideString& firstName = names[0];
    // Each name is looked up once; the first one's entry serves every later question about it
    // (Open, the extract folder name, the archive name of a single item).
    CDirEntry firstEntry;
    bool firstLookedUp = false;

    if (names.Count() == 1 && IdsAvailable(listing.Window, kSingleItemIdWindow))
    {
        if (!LookUpEntry(firstName, firstEntry))
            return E_FAIL;
        firstLookedUp = true;
        if (!firstEntry.IsFolder() && MayBeArchiveName(firstEntry.EntryName))
            listing.AddIfEnabled(CommandOpen, empty, empty, L"", nullptr);
    }

    if (!IdsAvailable(listing.Window, kMainBlockIdWindow))
        return S_OK;

    // Every name must still exist; a vanished one fails the whole list.
    bool anyArchive = false;
    CDirEntry entry;
    for (int i = 0; i < names.Count(); i++)
    {
        CDirEntry& found = i == 0 ? firstEntry : entry;
        if (!(i == 0 && firstLookedUp) && !LookUpEntry(names[i], found))
            return E_FAIL;
        if (!anyArchive && !found.IsFolder() && MayBeArchiveName(found.EntryName))
            anyArchive = true;
    }

    // A right-button drag works in the folder it was dropped on, a right-click in the items' own.
    // A folder that cannot be named (a path of 260 characters or more) offers nothing: the commands
    // would hand the archiver folders without a drive, which it would take as folders of whatever
    // folder it happens to start in.
    CWideString baseFolder;
    if (dropFolder != nullptr)
        baseFolder = *dropFolder;
    else if (!ResolveFullPathFolder(firstName, baseFolder) || baseFolder.IsEmpty())
        return E_FAIL;

    if (anyArchive)
    {
        const CWideString extractName = DeriveExtractFolderName(firstEntry.EntryName);
        const CWideString target = names.Count() == 1 ? extractName : CWideString(kEachArchiveFolder);
        const CWideString shownTarget = target + L"\\";
        listing.AddIfEnabled(CommandExtract, baseFolder + extractName + L"\\", empty, L"", nullptr);
        listing.AddIfEnabled(CommandExtractHere, baseFolder, empty, L"", nullptr);
        listing.AddIfEnabled(CommandExtractTo, baseFolder + target, empty, L"", &shownTarget);
        listing.AddIfEnabled(CommandTest, empty, empty, L"", nullptr);
    }

    const CWideString archiveBase =
        names.Count() >= 2 ? DeriveArchiveBaseName(firstName, true) : ArchiveBaseNameOfEntry(firstEntry);
    const CWideString vntxArchive = archiveBase + kVntxSuffix;
    const CWideString zipArchive = archiveBase + kZipSuffix;
    // A right-button drag is about putting something into the target folder: no mail then.
    const bool offerEmail = dropFolder == nullptr;
    listing.AddIfEnabled(CommandCompressToZip, baseFolder, zipArchive, kTypeZip, &zipArchive);
    if (offerEmail)
        listing.AddIfEnabled(CommandCompressToZipEmail, empty, zipArchive, kTypeZip, &zipArchive);
    listing.AddIfEnabled(CommandCompressToVNTX, baseFolder, vntxArchive, kTypeVntx, &vntxArchive);
    if (offerEmail)
        listing.AddIfEnabled(CommandCompressToVNTXEmail, empty, vntxArchive, kTypeVntx, &vntxArchive);
    listing.AddIfEnabled(CommandCompress, baseFolder, archiveBase, L"", nullptr);
    if (offerEmail)
        listing.AddIfEnabled(CommandCompressEmail, empty, archiveBase, L"", nullptr);
    return S_OK;
}

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

// The file manager opens one archive: the first of the selection. False when the module's folder,
// and so the file manager, cannot be found.
bool BuildOpenCommandLine(const COwningVector<CWideString>& names, CWideString& commandLine)
{
    CWideString program;
    if (!GetProgramPath(kFileManagerProgram, program))
        return false;
    commandLine = QuoteArgument(program);
    commandLine += L' ';
    commandLine += QuoteArgument(names[0]);
    return true;
}

void Launch(const CCommandAction& action, const CCommandMapEntry& entry, const COwningVector<CWideString>& names)
{
    switch (action.Action)
    {
    case ECommandAction::Open:
        // A new selection may have come after the menu was built; with none, there is nothing to
        // open.
        if (!names.IsEmpty())
        {
            CWideString commandLine;
            if (BuildOpenCommandLine(names, commandLine))
                LaunchProcess(commandLine, nullptr, false, nullptr);
        }
        break;
    case ECommandAction::Extract:
        ExtractArchives(names, entry.Folder, action.ShowDialog);
        break;
    case ECommandAction::Test:
        TestArchives(names);
        break;
    case ECommandAction::Compress:
        CompressFiles(entry.Folder, entry.ArchiveName, entry.ArchiveType, names, action.Email, action.ShowDialog,
                      false);
        break;
    }
}
} // namespace

HRESULT ListOfferedCommands(const COwningVector<CWideString>& names, const CWideString* dropFolder, DWORD mask,
                            CIdWindow window, COwningVector<COfferedCommand>& offered)
{
    offered.Clear();
    CListing listing{offered, window, mask};
    HRESULT result;
    try
    {
        result = ListInto(names, dropFolder, listing);
    }
    catch (...)
    {
        offered.Clear();
        throw;
    }
    // Half a list would offer commands for a selection that is not what the user chose.
    if (FAILED(result))
        offered.Clear();
    return result;
}

HRESULT CarryOutCommand(const CCommandMapEntry& entry, const COwningVector<CWideString>& names)
{
    const CCommandAction* action = FindCommandAction(entry.CommandId);
    if (action == nullptr)
        return S_OK;
    try
    {
        Launch(*action, entry, names);
        return S_OK;
    }
    catch (...)
    {
        // The launch could not be prepared (memory ran out): the user learns that the command
        // failed.
        const HRESULT result = HResultFromCaughtException();
        ShowCommandError();
        return result;
    }
}

void ShowCommandError() noexcept
{
    try
    {
        ShowLangError(nullptr, IDS_ERROR, kLaunchErrorLangId);
    }
    catch (...)
    {
        // Not even the error text could be had; nothing else can be reported.
    }
}
