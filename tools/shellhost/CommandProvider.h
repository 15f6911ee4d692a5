#pragma once

#include "HandlerSet.h"
#include "MenuListing.h"

#include <shobjidl.h>

#include <string>
#include <vector>

// One command object and what it answered.
struct CCommandItem
{
    int Depth = 0; // 0: the top item; 1: one of its sub-commands
    CComRef<IExplorerCommand> Command;
    std::wstring Title;
    std::wstring ToolTip;
    std::wstring Icon;
    GUID CanonicalName = {};
    EXPCMDSTATE State = ECS_HIDDEN;
    EXPCMDFLAGS Flags = ECF_DEFAULT;
    HRESULT TitleResult = E_FAIL;
    HRESULT ToolTipResult = E_FAIL;
    HRESULT IconResult = E_FAIL;
    HRESULT CanonicalResult = E_FAIL;
    HRESULT StateResult = E_FAIL;
    HRESULT FlagsResult = E_FAIL;
};

// An Explorer command provider as Windows 11's Explorer uses it for its first-level menu.
class CLoadedProvider
{
public:
    CLoadedProvider() = default;
    CLoadedProvider(const CLoadedProvider&) = delete;
    CLoadedProvider& operator=(const CLoadedProvider&) = delete;
    // Takes the host's site back from every object that was given it.
    ~CLoadedProvider();

    // Creates the command (CoCreateInstance, in-process, in this thread's apartment), gives it the
    // host's site, asks its state for the items (not slow first; again, slow, when it answers
    // E_PENDING), its flags, title, icon, tool tip and canonical name, and, when it is shown and has
    // sub-commands, enumerates them and asks each the same.
    void Load(const CHandlerEntry& entry, IShellItemArray* items);

    // What the calls answered, a line each, and the menu as a table of text, canonical name, state
    // and tool tip; sub-commands indented under the top item.
    std::wstring Describe() const;
    std::wstring FormatMenu() const;
    bool Shown() const { return !_items.empty() && _items[0].State == ECS_ENABLED; }

    // The sub-command whose canonical name is the name-based identifier of `verb` in the top item's
    // canonical name, or null.
    const CCommandItem* FindByVerb(const std::wstring& verb) const;
    // Invoke of the sub-command with the items (no bind context, as Explorer may pass).
    static HRESULT Invoke(const CCommandItem& item, IShellItemArray* items);

    // The menu lines for a picture: Windows 11's own first-level items (with `explorerItems`)
    // around the top item, whose submenu holds the sub-commands. Ids from 1 in item order; the
    // verb of the top item is the registered one, that of a sub-command its canonical name.
    std::vector<CMenuLine> MenuLines(bool explorerItems) const;

    const CHandlerEntry& Entry() const { return _entry; }
    const std::vector<CCommandItem>& Items() const { return _items; }

private:
    CHandlerEntry _entry;
    HRESULT _createResult = E_FAIL;
    HRESULT _siteResult = E_FAIL;
    HRESULT _enumResult = S_OK;
    bool _enumerated = false;
    std::vector<HRESULT> _stateCalls; // the top item's GetState: not slow, then slow
    std::vector<CCommandItem> _items; // the top item, then its sub-commands in order
    CComRef<IUnknown> _site;
};

// Builds a popup menu from the lines (text items, separators, one level of submenus); the caller
// destroys it. `icon`, when it names a loadable icon ("file,index"), is shown on the line with the
// verb `iconVerb`. The bitmap made for it goes into `bitmap`, which the caller deletes after the menu.
HMENU BuildMenuFromLines(const std::vector<CMenuLine>& lines, const std::wstring& icon, const std::wstring& iconVerb,
                         HBITMAP& bitmap);
