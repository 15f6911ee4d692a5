#pragma once

#include "base/WideString.h"

#include <windows.h>

// Description of one menu item, copied into a MENUITEMINFO when it is inserted.
struct CMenuItemDesc
{
    CWideString Text;
    UINT Mask = 0;
    UINT Type = 0;
    UINT State = 0;
    UINT Id = 0;
    HMENU SubMenu = nullptr;
    HBITMAP CheckedBitmap = nullptr;
    HBITMAP UncheckedBitmap = nullptr;
    ULONG_PTR ItemData = 0;

    bool IsTextItem() const { return (Mask & MIIM_TYPE) != 0 && Type == MFT_STRING; }
};

// True when the system accepted the item.
bool InsertMenuItemDesc(HMENU menu, UINT position, bool byPosition, const CMenuItemDesc& item);

// Holder of a menu handle; it does not destroy the menu by itself (see CMenuDestroyer).
class CMenuHandle
{
public:
    CMenuHandle() = default;
    CMenuHandle(const CMenuHandle&) = delete;
    CMenuHandle& operator=(const CMenuHandle&) = delete;

    bool CreatePopup();
    // False when nothing is held; otherwise detaches and returns whether DestroyMenu succeeded.
    bool Destroy();
    void Attach(HMENU menu) { _menu = menu; }
    HMENU Detach()
    {
        HMENU menu = _menu;
        _menu = nullptr;
        return menu;
    }
    HMENU Get() const { return _menu; }

private:
    HMENU _menu = nullptr;
};

// Destroys a menu under construction unless disarmed first.
class CMenuDestroyer
{
public:
    explicit CMenuDestroyer(CMenuHandle* menu = nullptr) : _menu(menu) {}
    CMenuDestroyer(const CMenuDestroyer&) = delete;
    CMenuDestroyer& operator=(const CMenuDestroyer&) = delete;
    ~CMenuDestroyer()
    {
        if (_menu != nullptr)
            _menu->Destroy();
    }
    void Set(CMenuHandle* menu) { _menu = menu; }
    void Disarm() { _menu = nullptr; }

private:
    CMenuHandle* _menu;
};

bool SetControlText(HWND window, const CWideString& text);
// True when the text was read; an empty text counts as read when the system reports no error.
bool GetControlText(HWND window, CWideString& text);
// Empty when there is no such string.
CWideString LoadResourceString(HINSTANCE instance, UINT id);
// LoadResourceString with this module's own instance.
CWideString LoadModuleString(UINT id);
