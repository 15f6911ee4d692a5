#pragma once

#include "TestSupport.h"

#include "menu/ShellMenuHandler.h"

#include "ComRef.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>
#include <vector>

// The item-identifier list the shell makes of a file-system path, or (csidl) of a shell folder;
// null when the shell knows no such item.
CIdList PathIdList(const std::wstring& path);
CIdList FolderIdList(int csidl);

// The data object that Explorer hands to IShellExtInit::Initialize for `names` (files or folders
// of the one folder `folder`), made by that folder's IShellFolder::GetUIObjectOf.
HRESULT MakeShellDataObject(const std::wstring& folder, const std::vector<std::wstring>& names,
                            CComRef<IDataObject>& data);

// A context-menu handler as a host holds it: made by the class factory in a single-threaded
// apartment, released at the end of the scope, with a popup menu of the host's own.
class CHostedHandler
{
public:
    CHostedHandler();
    ~CHostedHandler();
    CHostedHandler(const CHostedHandler&) = delete;
    CHostedHandler& operator=(const CHostedHandler&) = delete;

    CShellMenuHandler& Object() const { return *_handler; }
    HMENU Menu() const { return _menu; }
    // The names the handler holds, in order.
    std::vector<std::wstring> SelectedNames() const;

    // The file manager's way of handing over names (IHostMenuInit).
    HRESULT Select(const std::vector<std::wstring>& names);
    // Explorer's way: the shell's data object for `names` in `folder`; for a drag, the target.
    HRESULT Initialize(const std::wstring& folder, const std::vector<std::wstring>& names,
                       LPCITEMIDLIST dropFolder = nullptr);
    // QueryContextMenu into the host's menu (emptied first) at position 0.
    HRESULT BuildMenu(UINT firstId = 1, UINT lastId = 100, UINT flags = CMF_NORMAL);
    // By offset (MAKEINTRESOURCEA) or ANSI verb in the 36-byte record; with a wide verb in the
    // 64-byte one with CMIC_MASK_UNICODE. `size` and `mask` replace the record's own.
    HRESULT Invoke(LPCSTR verb, LPCWSTR wideVerb = nullptr, DWORD size = 0, DWORD mask = ~0u);

private:
    HRESULT _apartment;
    CShellMenuHandler* _handler = nullptr;
    HMENU _menu;
};
