#pragma once

#include "TestSupport.h"

#include "options/OptionsPlugin.h"

#include <commctrl.h>
#include <prsht.h>

#include <memory>

const wchar_t kOptionsKey[] = L"Software\\VANTOR\\Options";
const wchar_t kHandlerClassKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}";

// The shell's handler keys of the product: those that exist, or all, as "path;path;".
inline std::wstring HandlerKeys(bool all = false)
{
    std::wstring found;
    for (const wchar_t* shellClass : {L"*", L"Folder", L"Directory", L"Drive"})
        for (const wchar_t* kind : {L"ContextMenu", L"DragDrop"})
        {
            const std::wstring path = std::wstring(shellClass) + L"\\shellex\\" + kind + L"Handlers\\VANTOR";
            found += all || RegistryKeyExists(HKEY_CLASSES_ROOT, path) ? path + L";" : L"";
        }
    return found;
}

inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000)
{
    for (const DWORD start = GetTickCount(); !condition(); Sleep(20))
        if (GetTickCount() - start >= timeoutMs)
            return false;
    return true;
}

inline std::wstring WindowText(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// A property sheet of this process, worked from another thread as a user would.
struct CSheet
{
    HWND Window;

    HWND Page() const { return reinterpret_cast<HWND>(SendMessageW(Window, PSM_GETCURRENTPAGEHWND, 0, 0)); }
    HWND Item(int itemId) const { return GetDlgItem(Page(), itemId); }
    bool ApplyEnabled() const { return IsWindowEnabled(GetDlgItem(Window, 0x3021)) != FALSE; }
    void SelectTab(int index) const { SendMessageW(Window, PSM_SETCURSEL, index, 0); }
    std::wstring TabTitle(int index) const
    {
        wchar_t text[64] = {};
        TCITEMW item = {TCIF_TEXT, 0, 0, text, 64, 0, 0};
        const HWND tabs = reinterpret_cast<HWND>(SendMessageW(Window, PSM_GETTABCONTROL, 0, 0));
        SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    // OK and Cancel are posted, so that the sheet's loop wakes up, and waited for.
    void Press(int button) const
    {
        if (button != PSBTN_OK && button != PSBTN_CANCEL)
            SendMessageW(Window, PSM_PRESSBUTTON, button, 0);
        else if (PostMessageW(Window, PSM_PRESSBUTTON, button, 0))
            WaitUntil([this] { return !IsWindow(Window); });
    }
    void Click(int itemId) const { SendMessageW(Item(itemId), BM_CLICK, 0, 0); }
    // The command list of the System page.
    HWND List() const { return Item(1022); }
    std::wstring ListText(int row) const
    {
        wchar_t text[256] = {};
        LVITEMW item = {};
        item.pszText = text;
        item.cchTextMax = 256;
        SendMessageW(List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    void Tick(int row, bool ticked) const { ListView_SetCheckState(List(), row, ticked); }

    // The current page's controls in tab order: a check box or radio button "1" or "0", an edit
    // "<text>", a push button "b", the command list its ticks "{1101...}"; "-" before a disabled
    // one. Group boxes and labels are left out.
    std::wstring State() const
    {
        std::wstring state;
        for (HWND c = GetWindow(Page(), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
        {
            wchar_t name[32] = {};
            GetClassNameW(c, name, 32);
            const LONG type = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
            std::wstring part;
            if (lstrcmpiW(name, WC_LISTVIEWW) == 0)
            {
                for (int row = 0; row < ListView_GetItemCount(c); row++)
                    part += ListView_GetCheckState(c, row) == 1 ? L"1" : L"0";
                part = L"{" + part + L"}";
            }
            else if (lstrcmpiW(name, L"Edit") == 0)
                part = L"<" + WindowText(c) + L">";
            else if (lstrcmpiW(name, L"Button") == 0 && type != BS_GROUPBOX)
                part = type == BS_PUSHBUTTON ? L"b" : SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"1" : L"0";
            state += part.empty() || IsWindowEnabled(c) ? part : L"-" + part;
        }
        return state;
    }
};

// ShowOptions while `script` works the sheet from another thread; its result. The script must
// close the sheet: one that stops early (a failed assertion) has it cancelled.
inline HRESULT ShowOptionsWith(IPluginOptions* plugin, const std::function<void(const CSheet&)>& script)
{
    bool shown = false;
    CDialogWatcher watcher(nullptr,
                           [&](HWND dialog)
                           {
                               if (SendMessageW(dialog, PSM_GETTABCONTROL, 0, 0) == 0)
                                   return;
                               shown = true;
                               script(CSheet{dialog});
                               EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 2000)) << "left open";
                               CSheet{dialog}.Press(PSBTN_CANCEL); // nothing when the script closed it
                           });
    const HRESULT result = plugin->ShowOptions(nullptr, 0x12345678); // the second argument means nothing
    watcher.Stop();
    EXPECT_EQ(SUCCEEDED(result), shown) << "a sheet if and only if ShowOptions succeeded";
    return result;
}

// Keeps the settings, the handler's class key, the shell's handler keys and the approval list as
// found, and starts without stored options and with an options object. The language and the
// object are made before the heap is counted.
class COptionsTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        const std::wstring keys = HandlerKeys(true) + kHandlerClassKey + L";";
        for (size_t start = 0, end; (end = keys.find(L';', start)) != std::wstring::npos; start = end + 1)
            Guard(HKEY_CLASSES_ROOT, keys.substr(start, end - start));
        Guard(HKEY_CURRENT_USER, L"Software\\VANTOR");
        Guard(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved");
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        ASSERT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, reinterpret_cast<void**>(&Plugin)));
        CModuleTest::SetUp();
    }
    void TearDown() override
    {
        CModuleTest::TearDown();
        EXPECT_EQ(0u, Plugin != nullptr ? Plugin->Release() : 0u);
    }
    void Guard(HKEY root, const std::wstring& path) { _guards.emplace_back(new CRegistrySnapshot(root, path)); }
    void Set(const wchar_t* name, const CStored& value) { SetRaw(HKEY_CURRENT_USER, kOptionsKey, name, value); }
    static CStored Option(const wchar_t* name) { return RawValue(HKEY_CURRENT_USER, kOptionsKey, name); }

    IPluginOptions* Plugin = nullptr;

private:
    std::vector<std::unique_ptr<CRegistrySnapshot>> _guards;
};
