#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the menu tests read back from the system's menus.
struct CShownItem
{
    UINT Id;
    std::wstring Text;
    HMENU SubMenu;
};

// The items of `menu`, each followed by the items of its submenu; the texts read through the
// ANSI entry points (code page 1252, as Wine's) or the wide ones.
inline std::vector<CShownItem> ReadMenu(HMENU menu, bool ansi)
{
    std::vector<CShownItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); i++)
    {
        wchar_t text[256] = {};
        if (ansi)
        {
            char narrow[256] = {};
            GetMenuStringA(menu, i, narrow, 255, MF_BYPOSITION);
            MultiByteToWideChar(1252, 0, narrow, -1, text, 256);
        }
        else
            GetMenuStringW(menu, i, text, 255, MF_BYPOSITION);
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU;
        GetMenuItemInfoW(menu, i, TRUE, &info);
        items.push_back({info.wID, text, info.hSubMenu});
        if (info.hSubMenu != nullptr)
        {
            const std::vector<CShownItem> inner = ReadMenu(info.hSubMenu, ansi);
            items.insert(items.end(), inner.begin(), inner.end());
        }
    }
    return items;
}

inline void SetMenuOptions(DWORD cascaded, DWORD mask)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VANTOR\\Options", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"CascadedMenu", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&cascaded), 4);
    RegSetValueExW(key, L"ContextMenu", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mask), 4);
    RegCloseKey(key);
}
