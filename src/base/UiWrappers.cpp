#include "base/UiWrappers.h"

#include "base/Module.h"
#include "base/Platform.h"
#include "base/TextConvert.h"

#include <cstddef>

namespace
{
// The record size the menu calls are given ends after the character-count field: the item-bitmap
// field did not exist on Windows 95 and NT 4, which refuse a larger size. The 64-bit record is the
// same version at its own size.
const UINT kMenuItemInfoSize = offsetof(MENUITEMINFOW, hbmpItem);
static_assert(offsetof(MENUITEMINFOW, hbmpItem) == ArchValue(44, 72), "MENUITEMINFO without hbmpItem");
static_assert(offsetof(MENUITEMINFOA, hbmpItem) == ArchValue(44, 72), "MENUITEMINFO without hbmpItem");

template <typename TInfo> void FillMenuItemInfo(const CMenuItemDesc& item, TInfo& info)
{
    info.cbSize = kMenuItemInfoSize;
    info.fMask = item.Mask;
    info.fType = item.Type;
    info.fState = item.State;
    info.wID = item.Id;
    info.hSubMenu = item.SubMenu;
    info.hbmpChecked = item.CheckedBitmap;
    info.hbmpUnchecked = item.UncheckedBitmap;
    info.dwItemData = item.ItemData;
}

// Size of the string-resource buffer before the first attempt; every attempt adds this much.
const int kStringBufferStep = 256;

// The text calls of one character width.
template <typename TUnit> struct CTextCalls;
template <> struct CTextCalls<wchar_t>
{
    static int TextLength(HWND window) { return GetWindowTextLengthW(window); }
    static int Text(HWND window, wchar_t* buffer, int size) { return GetWindowTextW(window, buffer, size); }
    static int LoadText(HINSTANCE instance, UINT id, wchar_t* buffer, int size)
    {
        return LoadStringW(instance, id, buffer, size);
    }
};
template <> struct CTextCalls<char>
{
    static int TextLength(HWND window) { return GetWindowTextLengthA(window); }
    static int Text(HWND window, char* buffer, int size) { return GetWindowTextA(window, buffer, size); }
    static int LoadText(HINSTANCE instance, UINT id, char* buffer, int size)
    {
        return LoadStringA(instance, id, buffer, size);
    }
};

// An empty text is told from a failure only by the error code: any stale one is cleared first.
template <typename TUnit> bool ReadWindowText(HWND window, CStringT<TUnit>& text)
{
    SetLastError(NO_ERROR);
    const int length = CTextCalls<TUnit>::TextLength(window);
    if (length <= 0)
        return GetLastError() == NO_ERROR;
    TUnit* buffer = text.BufferForWrite(length);
    SetLastError(NO_ERROR);
    const int copied = CTextCalls<TUnit>::Text(window, buffer, length + 1);
    // The text may have changed between the two calls; keep only what was copied.
    text.CommitBuffer(copied > 0 ? copied : 0);
    return copied > 0 || GetLastError() == NO_ERROR;
}

// A return of size - 1 may be a cut text, so the loop asks again with a larger buffer.
template <typename TUnit> CStringT<TUnit> LoadText(HINSTANCE instance, UINT id)
{
    CStringT<TUnit> text;
    int size = kStringBufferStep;
    int length = 0;
    do
    {
        size += kStringBufferStep;
        TUnit* buffer = text.BufferForWrite(size - 1);
        length = CTextCalls<TUnit>::LoadText(instance, id, buffer, size);
    } while (length >= size - 1);
    text.CommitBuffer(length > 0 ? length : 0);
    return text;
}
} // namespace

bool InsertMenuItemDesc(HMENU menu, UINT position, bool byPosition, const CMenuItemDesc& item)
{
    if (g_WideApisAvailable)
    {
        MENUITEMINFOW info = {};
        FillMenuItemInfo(item, info);
        if (item.IsTextItem())
            info.dwTypeData = const_cast<wchar_t*>(item.Text.Ptr());
        return InsertMenuItemW(menu, position, byPosition ? TRUE : FALSE, &info) != FALSE;
    }
    MENUITEMINFOA info = {};
    FillMenuItemInfo(item, info);
    // The narrow copy lives until the call returns; the menu keeps its own copy of the text.
    CNarrowString narrowText;
    if (item.IsTextItem())
    {
        narrowText = SystemTextFromWide(item.Text);
        info.dwTypeData = const_cast<char*>(narrowText.Ptr());
    }
    return InsertMenuItemA(menu, position, byPosition ? TRUE : FALSE, &info) != FALSE;
}

bool CMenuHandle::CreatePopup()
{
    _menu = CreatePopupMenu();
    return _menu != nullptr;
}

bool CMenuHandle::Destroy()
{
    if (_menu == nullptr)
        return false;
    return DestroyMenu(Detach()) != FALSE;
}

bool SetControlText(HWND window, const CWideString& text)
{
    if (g_WideApisAvailable)
        return SetWindowTextW(window, text) != FALSE;
    const CNarrowString narrowText = SystemTextFromWide(text);
    return SetWindowTextA(window, narrowText) != FALSE;
}

bool GetControlText(HWND window, CWideString& text)
{
    text.ClearText();
    if (g_WideApisAvailable)
        return ReadWindowText(window, text);
    CNarrowString narrowText;
    if (!ReadWindowText(window, narrowText))
        return false;
    text = WideFromSystemText(narrowText);
    return true;
}

CWideString LoadResourceString(HINSTANCE instance, UINT id)
{
    if (g_WideApisAvailable)
        return LoadText<wchar_t>(instance, id);
    return WideFromSystemText(LoadText<char>(instance, id));
}

CWideString LoadModuleString(UINT id)
{
    return LoadResourceString(g_ModuleInstance, id);
}
