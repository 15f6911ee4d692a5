#include "menu/ShellMenuHandler.h"

#include "base/ComBoundary.h"
#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "base/UiWrappers.h"
#include "lang/Language.h"
#include "menu/ArchiveNames.h"
#include "menu/CommandTable.h"
#include "resources/ResourceIds.h"
#include "settings/Settings.h"

namespace
{
// A plain text item, and the item that carries the cascaded submenu.
const UINT kCommandItemMask = MIIM_ID | MIIM_TYPE;
const UINT kSubmenuItemMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
static_assert(kCommandItemMask == 0x12, "command item mask");
static_assert(kSubmenuItemMask == 0x16, "submenu item mask");

// CMF_DEFAULTONLY, CMF_VERBSONLY, CMF_EXPLORE and CMF_NOVERBS.
const UINT kRestrictingQueryFlags = 0xF;
static_assert((CMF_DEFAULTONLY | CMF_VERBSONLY | CMF_EXPLORE | CMF_NOVERBS) == kRestrictingQueryFlags, "CMF bits");

const UINT kSubmenuTitleLangId = 0x02000101;
const UINT kSubmenuHelpLangId = 0x02000102;

// Ids the two blocks ask to be free beyond the next id before they insert anything.
const UINT kSingleItemIdWindow = 6;
const UINT kMainBlockIdWindow = 10;

const wchar_t kTypeZip[] = L"zip";
const wchar_t kTypeVntx[] = L"VNTX";
const wchar_t kZipSuffix[] = L".zip";
const wchar_t kVntxSuffix[] = L".VNTX";
// ExtractTo with several archives: each goes to a folder named after itself.
const wchar_t kEachArchiveFolder[] = L"*";

// True when `count` ids beyond `nextId` still fit below `lastId`. Written so that an id window
// near the top of the range cannot wrap around and pass.
bool IdsAvailable(UINT nextId, UINT lastId, UINT count)
{
    return nextId <= lastId && lastId - nextId >= count;
}

bool AddCommandItem(HMENU menu, UINT position, UINT id, const CWideString& text)
{
    CMenuItemDesc item;
    item.Text = text;
    item.Mask = kCommandItemMask;
    item.Type = MFT_STRING;
    item.Id = id;
    return InsertMenuItemDesc(menu, position, true, item);
}

// The values one construction works with; items go into `TargetMenu` one after another.
struct CMenuConstruction
{
    COwningVector<CCommandMapEntry>& CommandMap;
    HMENU TargetMenu;
    UINT Position;
    UINT NextId;
    DWORD Mask;

    // Adds command `commandId` when its bit is in the mask. `placeholder`, when given, is the
    // name shown for "{0}".
    void AddIfEnabled(ECommandId commandId, const CWideString& folder, const CWideString& archiveName,
                      const wchar_t* archiveType, const CWideString* placeholder)
    {
        const int row = FindCommandRow(commandId);
        if (row < 0 || (Mask & g_MenuCommands[row].Flag) == 0)
            return;
        CWideString text;
        CCommandMapEntry entry;
        FillCommandEntry(commandId, text, entry);
        entry.Folder = folder;
        entry.ArchiveName = archiveName;
        entry.ArchiveType = archiveType;
        if (placeholder != nullptr)
            text = FormatArg(text, QuoteForMenu(*placeholder));
        // A refused item keeps its id and its entry, so offsets and ids stay in step.
        AddCommandItem(TargetMenu, Position, NextId, text);
        Position++;
        NextId++;
        CommandMap.Add(entry);
    }
};

// Builds the menu for the handler's selection; see QueryContextMenu for the contract.
HRESULT BuildMenu(CShellMenuHandler& handler, HMENU menu, UINT insertIndex, UINT firstId, UINT lastId)
{
    const COwningVector<CWideString>& names = handler.SelectedNames;
    handler.CommandMap.Clear();

    // Both settings are read anew for every menu, so a change on the System page shows in the next
    // one; one opening of their key serves both.
    bool cascaded = true;
    DWORD mask = kDefaultContextMenuFlags;
    ReadMenuSettings(cascaded, mask);
    CMenuConstruction build{handler.CommandMap, menu, insertIndex, firstId, mask};

    // The submenu item takes the first id: when the shell has none to give (the first id above the
    // last, or the last id of all, after which the next would wrap to 0), nothing goes in.
    if (cascaded && (firstId > lastId || firstId == 0xFFFFFFFF))
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);

    // Declared in this order so that the destroyer runs first on the way out: a popup that never
    // reached the shell's menu is destroyed on every early return and every exception.
    CMenuHandle popup;
    CMenuDestroyer popupDestroyer;
    UINT submenuId = 0;
    if (cascaded)
    {
        if (!popup.CreatePopup())
            return E_FAIL;
        popupDestroyer.Set(&popup);
        build.TargetMenu = popup.Get();
        build.Position = 0;
        CCommandMapEntry submenuEntry;
        submenuEntry.CommandId = 0;
        submenuEntry.Verb = g_MainVerb;
        submenuEntry.HelpText = LangTextOr(IDS_SUBMENU_HELP, kSubmenuHelpLangId);
        build.CommandMap.Add(submenuEntry);
        submenuId = build.NextId;
        build.NextId++;
    }

    const CWideString empty;
    const CWideString& firstName = names[0];
    // Each name is looked up once per menu; the first one's entry serves every later question
    // about it (Open, the extract folder name, the archive name of a single item).
    CDirEntry firstEntry;
    bool firstLookedUp = false;

    if (names.Count() == 1 && IdsAvailable(build.NextId, lastId, kSingleItemIdWindow))
    {
        if (!LookUpEntry(firstName, firstEntry))
            return E_FAIL;
        firstLookedUp = true;
        if (!firstEntry.IsFolder() && MayBeArchiveName(firstEntry.EntryName))
            build.AddIfEnabled(CommandOpen, empty, empty, L"", nullptr);
    }

    if (IdsAvailable(build.NextId, lastId, kMainBlockIdWindow))
    {
        // Every name must still exist; a vanished one fails the whole menu.
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

        // A right-button drag works in the folder it was dropped on.
        CWideString baseFolder;
        if (handler.IsDropTarget)
            baseFolder = handler.DropFolder;
        else if (!ResolveFullPathFolder(firstName, baseFolder))
            baseFolder.ClearText();

        if (anyArchive)
        {
            const CWideString extractName = DeriveExtractFolderName(firstEntry.EntryName);
            const CWideString target = names.Count() == 1 ? extractName : CWideString(kEachArchiveFolder);
            const CWideString shownTarget = target + L"\\";
            build.AddIfEnabled(CommandExtract, baseFolder + extractName + L"\\", empty, L"", nullptr);
            build.AddIfEnabled(CommandExtractHere, baseFolder, empty, L"", nullptr);
            build.AddIfEnabled(CommandExtractTo, baseFolder + target, empty, L"", &shownTarget);
            build.AddIfEnabled(CommandTest, empty, empty, L"", nullptr);
        }

        const CWideString archiveBase =
            names.Count() >= 2 ? DeriveArchiveBaseName(firstName, true) : ArchiveBaseNameOfEntry(firstEntry);
        const CWideString vntxArchive = archiveBase + kVntxSuffix;
        const CWideString zipArchive = archiveBase + kZipSuffix;
        // A right-button drag is about putting something into the target folder: no mail then.
        const bool offerEmail = !handler.IsDropTarget;
        build.AddIfEnabled(CommandCompressToZip, baseFolder, zipArchive, kTypeZip, &zipArchive);
        if (offerEmail)
            build.AddIfEnabled(CommandCompressToZipEmail, empty, zipArchive, kTypeZip, &zipArchive);
        build.AddIfEnabled(CommandCompressToVNTX, baseFolder, vntxArchive, kTypeVntx, &vntxArchive);
        if (offerEmail)
            build.AddIfEnabled(CommandCompressToVNTXEmail, empty, vntxArchive, kTypeVntx, &vntxArchive);
        build.AddIfEnabled(CommandCompress, baseFolder, archiveBase, L"", nullptr);
        if (offerEmail)
            build.AddIfEnabled(CommandCompressEmail, empty, archiveBase, L"", nullptr);
    }

    if (cascaded)
    {
        // The submenu item goes in even when the popup stayed empty (every command switched off).
        CMenuItemDesc submenuItem;
        submenuItem.Text = LangTextOr(IDS_SUBMENU_TITLE, kSubmenuTitleLangId);
        submenuItem.Mask = kSubmenuItemMask;
        submenuItem.Type = MFT_STRING;
        submenuItem.Id = submenuId;
        submenuItem.SubMenu = popup.Get();
        // Once inserted, the popup belongs to the shell's menu and dies with it. A popup the
        // shell's menu refused would belong to no one: the destroyer still frees it then.
        if (InsertMenuItemDesc(menu, insertIndex, true, submenuItem))
        {
            popupDestroyer.Disarm();
            popup.Detach();
        }
    }

    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, build.NextId - firstId);
}
} // namespace

STDMETHODIMP CShellMenuHandler::QueryContextMenu(HMENU menu, UINT insertIndex, UINT firstId, UINT lastId, UINT flags)
{
    try
    {
        LoadLanguageOnce();
        if (SelectedNames.IsEmpty())
            return E_FAIL;
        // A default-verb-only query (a double-click, for one) gets nothing from us, unless the
        // shell also asks for verbs or is building Explorer's own File menu.
        if ((flags & kRestrictingQueryFlags) != 0 && (flags & (CMF_VERBSONLY | CMF_EXPLORE)) == 0)
            return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
        return BuildMenu(*this, menu, insertIndex, firstId, lastId);
    }
    catch (...)
    {
        // Unwinding has already destroyed a popup under construction.
        return HResultFromCaughtException();
    }
}
