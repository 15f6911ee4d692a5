#pragma once

#include "ComRef.h"

#include <string>
#include <vector>

// A handler as the registry names it: HKCR\<class>\shellex\<kind>\<Name>, default value = class id.
struct CHandlerEntry
{
    std::wstring Name;
    std::wstring ClassIdText; // as stored, normalised to the "{...}" form of StringFromGUID2
    CLSID ClassId = {};
    std::wstring KeyPath; // e.g. "*\shellex\ContextMenuHandlers"
};

// The handlers registered for the given classes under "shellex\<kind>", in the order Explorer
// meets them (class by class, keys in registry order), each class id once.
std::vector<CHandlerEntry> FindRegisteredHandlers(const std::vector<std::wstring>& classNames, const wchar_t* kind);

// The Explorer commands registered for the given classes, as unpackaged ones are registered and as
// the scripts register the verbs of the package manifest in a Wine prefix, which has no packages:
// HKCR\<class>\shell\<verb> with the value ExplorerCommandHandler = class id. In the order Explorer
// meets them, each class id once; Name is the verb.
std::vector<CHandlerEntry> FindRegisteredCommands(const std::vector<std::wstring>& classNames);

// One handler that Explorer activated for this menu.
struct CLoadedHandler
{
    CHandlerEntry Entry;
    CComRef<IContextMenu> Menu;
    HRESULT CreateResult = S_OK;     // CoCreateInstance
    HRESULT InitializeResult = S_OK; // IShellExtInit::Initialize
    HRESULT QueryResult = S_OK;      // QueryContextMenu
    UINT FirstId = 0;
    UINT IdCount = 0; // ids taken: the code of a successful QueryContextMenu
};

class CHandlerSet
{
public:
    static const UINT FirstCommandId = 1;
    static const UINT LastCommandId = 0x7FFF;

    // Creates each handler in the calling thread's apartment and initialises it with the folder
    // (null for a right-click) and the selection's data object.
    void Load(const std::vector<CHandlerEntry>& entries, PCIDLIST_ABSOLUTE folder, IDataObject* dataObject);

    // Lets every initialised handler add its items, one after another, each from the id after the
    // last one the previous handler took, at `insertIndex` as it moves on.
    void FillMenu(HMENU menu, UINT insertIndex, UINT flags);

    const std::vector<CLoadedHandler>& Handlers() const { return _handlers; }

    // The handler that owns the menu id, and the command offset of that id within it.
    const CLoadedHandler* OwnerOf(UINT id, UINT& offset) const;

    // GetCommandString for GCS_VERBW / GCS_HELPTEXTW; false when the handler refuses.
    static bool CommandString(const CLoadedHandler& handler, UINT offset, UINT type, std::wstring& text);

    // InvokeCommand through CMINVOKECOMMANDINFOEX with CMIC_MASK_UNICODE. A verb goes as text in both
    // the ANSI and the wide field; an offset as MAKEINTRESOURCE in both.
    static HRESULT InvokeVerb(const CLoadedHandler& handler, const std::wstring& verb, HWND window);
    static HRESULT InvokeOffset(const CLoadedHandler& handler, UINT offset, HWND window);

private:
    std::vector<CLoadedHandler> _handlers;
};
