#include "menu/ShellMenuHandler.h"

#include "base/ComBoundary.h"
#include "base/UiWrappers.h"
#include "lang/Language.h"
#include "menu/CommandTable.h"
#include "menu/OfferedCommands.h"
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

bool AddCommandItem(HMENU menu, UINT position, UINT id, const CWideString& text)
{
    CMenuItemDesc item;
    item.Text = text;
    item.Mask = kCommandItemMask;
    item.Type = MFT_STRING;
    item.Id = id;
    return InsertMenuItemDesc(menu, position, true, item);
}

// Builds the menu for the handler's selection; see QueryContextMenu for the contract.
HRESULT BuildMenu(CShellMenuHandler& handler, HMENU menu, UINT insertIndex, UINT firstId, UINT lastId)
{
    handler.CommandMap.Clear();

    // Both settings are read anew for every menu, so a change on the System page shows in the next
    // one; one opening of their key serves both.
    bool cascaded = true;
    DWORD mask = kDefaultContextMenuFlags;
    ReadMenuSettings(cascaded, mask);

    // The submenu item takes the first id: when the shell has none to give (the first id above the
    // last, or the last id of all, after which the next would wrap to 0), nothing goes in.
    if (cascaded && (firstId > lastId || firstId == 0xFFFFFFFF))
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);

    // Declared in this order so that the destroyer runs first on the way out: a popup that never
    // reached the shell's menu is destroyed on every early return and every exception.
    CMenuHandle popup;
    CMenuDestroyer popupDestroyer;
    HMENU target = menu;
    UINT position = insertIndex;
    UINT nextId = firstId;
    if (cascaded)
    {
        if (!popup.CreatePopup())
            return E_FAIL;
        popupDestroyer.Set(&popup);
        target = popup.Get();
        position = 0;
        CCommandMapEntry submenuEntry;
        submenuEntry.CommandId = 0;
        submenuEntry.Verb = g_MainVerb;
        submenuEntry.HelpText = SubmenuHelpText();
        handler.CommandMap.Add(submenuEntry);
        nextId++;
    }

    COwningVector<COfferedCommand> offered;
    const HRESULT listed =
        ListOfferedCommands(handler.SelectedNames, handler.IsDropTarget ? &handler.DropFolder : nullptr, mask,
                            CIdWindow{nextId, lastId}, offered);
    if (FAILED(listed))
        return listed;
    for (int i = 0; i < offered.Count(); i++)
    {
        // A refused item keeps its id and its entry, so offsets and ids stay in step.
        AddCommandItem(target, position, nextId, offered[i].Text);
        position++;
        nextId++;
        handler.CommandMap.Add(offered[i].Entry);
    }

    if (cascaded)
    {
        // The submenu item goes in even when the popup stayed empty (every command switched off).
        CMenuItemDesc submenuItem;
        submenuItem.Text = SubmenuTitle();
        submenuItem.Mask = kSubmenuItemMask;
        submenuItem.Type = MFT_STRING;
        submenuItem.Id = firstId;
        submenuItem.SubMenu = popup.Get();
        // Once inserted, the popup belongs to the shell's menu and dies with it. A popup the
        // shell's menu refused would belong to no one: the destroyer still frees it then.
        if (InsertMenuItemDesc(menu, insertIndex, true, submenuItem))
            popupDestroyer.Disarm();
    }

    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, nextId - firstId);
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
