#pragma once

#include "TestSupport.h"

#include "menu/ShellMenuHandler.h"

#include "ComRef.h"

#include <objidl.h>
#include <shlobj.h>

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
