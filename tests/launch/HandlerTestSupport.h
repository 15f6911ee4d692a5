#pragma once

#include "LaunchTestSupport.h"

#include "menu/ShellMenuHandler.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

// A handler as a host holds it: one reference, released at the end of the scope, with the menu
// the shell gave it.
class CHandlerUnderTest
{
public:
    CHandlerUnderTest() : _handler(new CShellMenuHandler), _menu(CreatePopupMenu()) { _handler->AddRef(); }
    ~CHandlerUnderTest()
    {
        _handler->Release();
        DestroyMenu(_menu);
    }
    CHandlerUnderTest(const CHandlerUnderTest&) = delete;
    CHandlerUnderTest& operator=(const CHandlerUnderTest&) = delete;

    IContextMenu* Menu() { return _handler; }
    CShellMenuHandler& Object() { return *_handler; }

    // The file manager's way of handing over names (IHostMenuInit).
    void Select(const std::vector<std::wstring>& names)
    {
        std::vector<const wchar_t*> pointers;
        for (const std::wstring& name : names)
            pointers.push_back(name.c_str());
        IHostMenuInit* init = nullptr;
        _handler->QueryInterface(IID_IHostMenuInit, reinterpret_cast<void**>(&init));
        init->InitContextMenu(0, pointers.data(), static_cast<UINT>(pointers.size()));
        init->Release();
    }

    // QueryContextMenu into the shell's menu with ids 1 to 100; the number of ids used.
    HRESULT BuildMenu() { return _handler->QueryContextMenu(_menu, 0, 1, 100, CMF_NORMAL); }

    // The verb of each offset, as GetCommandString gives it.
    std::vector<std::wstring> Verbs()
    {
        std::vector<std::wstring> verbs;
        for (UINT offset = 0; _handler->GetCommandString(offset, GCS_VALIDATEW, nullptr, nullptr, 0) == S_OK; offset++)
        {
            wchar_t verb[64] = {};
            _handler->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(verb), 64);
            verbs.push_back(verb);
        }
        return verbs;
    }

    // The three ways a host names a command.
    HRESULT InvokeByOffset(UINT offset)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = MAKEINTRESOURCEA(offset);
        info.nShow = SW_SHOWNORMAL;
        return _handler->InvokeCommand(&info);
    }
    HRESULT InvokeByWideVerb(const wchar_t* verb)
    {
        CMINVOKECOMMANDINFOEX info = {};
        info.cbSize = sizeof(info);
        info.fMask = CMIC_MASK_UNICODE;
        info.lpVerb = "NotTheVerb"; // the wide verb decides
        info.lpVerbW = verb;
        info.nShow = SW_SHOWNORMAL;
        return _handler->InvokeCommand(reinterpret_cast<LPCMINVOKECOMMANDINFO>(&info));
    }
    HRESULT InvokeByAnsiVerb(const char* verb)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = verb;
        info.nShow = SW_SHOWNORMAL;
        return _handler->InvokeCommand(&info);
    }

private:
    CShellMenuHandler* _handler;
    HMENU _menu;
};

// The menu settings under HKCU\Software\VANTOR\Options for one scope; the tree is restored exactly.
class CMenuSettingsScope
{
public:
    CMenuSettingsScope(bool cascaded, DWORD mask) : _snapshot(HKEY_CURRENT_USER, L"Software\\VANTOR")
    {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VANTOR\\Options", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return;
        const DWORD cascadedValue = cascaded ? 1 : 0;
        RegSetValueExW(key, L"CascadedMenu", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&cascadedValue), 4);
        RegSetValueExW(key, L"ContextMenu", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mask), 4);
        RegCloseKey(key);
    }
    CMenuSettingsScope(const CMenuSettingsScope&) = delete;
    CMenuSettingsScope& operator=(const CMenuSettingsScope&) = delete;

private:
    CRegistrySnapshot _snapshot;
};
