#include "BaseTest.h"
#include "ShellTestSupport.h"

#include "base/ShellObjects.h"
#include "base/TextConvert.h"
#include "base/UiWrappers.h"
#include "server/Module.h"

#include <commctrl.h>

using ShellTest = CBothWidthsTest;
INSTANTIATE_BOTH_WIDTHS(ShellTest);

// A drop as Explorer hands it over: DROPFILES (20 bytes), the names each terminated, one more zero.
TEST_P(ShellTest, ADropGivesItsNamesInIndexOrderAndStaysWithItsOwner)
{
    const std::vector<std::wstring> names = {L"C:\\Work\\caf\x00E9.txt", L"C:\\" + std::wstring(255, L'a') + L".z"};
    for (bool wide : {true, false})
    {
        std::string list(20, '\0');
        for (const std::wstring& name : names)
            list += wide ? std::string(reinterpret_cast<const char*>(name.c_str()), (name.size() + 1) * 2)
                         : std::string(SystemTextFromWide(CWideString(name.c_str())).Ptr()) + '\0';
        list.append(wide ? 2 : 1, '\0');
        const DROPFILES header = {20, {}, FALSE, wide};
        const HDROP drop = static_cast<HDROP>(GlobalAlloc(GMEM_FIXED, list.size()));
        memcpy(memcpy(drop, list.data(), list.size()), &header, 20);
        {
            CDropHandle holder(false);
            holder.Attach(drop);
            COwningVector<CWideString> read;
            read.Add(CWideString(L"left over"));
            AllocHooks::SetGuarded(true); // any write past what was made writable faults
            holder.FileNames(read);
            AllocHooks::SetGuarded(false);
            EXPECT_EQ(names, (std::vector<std::wstring>{read[0].Ptr(), read[read.Count() - 1].Ptr()}));
        }
        EXPECT_NE(0u, GlobalSize(drop)); // the shell's data object owns it
        GlobalFree(drop);
    }
}

TEST_P(ShellTest, PathsOfModulesUpToTwoHundredSixtyCharactersAndTheFolderBrowser)
{
    CScratchFolder scratch;
    const CWideString folder = scratch.AddFolder(L"Caf\x00E9");
    // Copies of this program, loaded as modules (their code never runs) under 260 and 261 characters.
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    for (size_t length : {260, 261})
    {
        const std::wstring name = folder.Ptr() + std::wstring(length - 4 - folder.Length(), L'm') + L".dll";
        ASSERT_TRUE(CopyFileW(self, (L"\\\\?\\" + name).c_str(), FALSE)) << GetLastError();
        HMODULE module = LoadLibraryExW((L"\\\\?\\" + name).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        CWideString path(L"stale");
        EXPECT_EQ(length == 260, GetModuleFilePath(module, path)) << length;
        EXPECT_EQ(CWideString(length == 260 ? name.c_str() : L""), path) << length;
        FreeLibrary(module);
        DeleteFileW((L"\\\\?\\" + name).c_str());
    }
    const CWideString initial = scratch.AddFolder(L"Start Here");
    // The browser starts at the initial folder (OK is clicked once the tree has selected it) and
    // returns the choice. Cancel first: Wine's first browse in a process may stop its tree short.
    for (WPARAM button : {IDCANCEL, IDOK})
    {
        CWideString chosen(L"stale");
        CDialogWatcher watcher(nullptr,
                               [button](HWND dialog)
                               {
                                   const HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
                                   wchar_t text[16] = {};
                                   TVITEMW item = {TVIF_TEXT, nullptr, 0, 0, text, 16, 0, 0, 0, 0};
                                   for (int i = 0; button == IDOK && i < 200 && lstrcmpW(text, L"Start Here") != 0;
                                        i++, Sleep(50))
                                   {
                                       item.hItem = TreeView_GetSelection(tree);
                                       SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
                                   }
                                   PostMessageW(dialog, WM_COMMAND, button, 0);
                               });
        EXPECT_EQ(button == IDOK, BrowseForFolder(nullptr, CWideString(L"Choose"), initial, chosen));
        EXPECT_EQ(button == IDOK ? initial : CWideString(L"stale"), chosen);
    }
    // The browser's COM scope balances only what it initialised. On fresh threads, the second one
    // multithreaded first as a host's: the scope's result, then what CoInitializeEx answers after
    // the scope (only the host's apartment stays).
    HRESULT results[4] = {E_FAIL, E_FAIL, E_FAIL, E_FAIL};
    RunOnThreads(2, INFINITE,
                 [&results](int host)
                 {
                     if (host)
                         CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                     results[2 * host] = CComInitScope().Result();
                     results[2 * host + 1] = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                     for (int i = SUCCEEDED(results[2 * host + 1]) + host; i > 0; i--)
                         CoUninitialize();
                 });
    EXPECT_EQ((std::vector<HRESULT>{S_OK, S_OK, RPC_E_CHANGED_MODE, S_FALSE}),
              std::vector<HRESULT>(results, results + 4));
}

TEST_P(ShellTest, MenusControlTextsAndStringResourcesReadBackWhole)
{
    CMenuHandle kept, built;
    ASSERT_TRUE(kept.CreatePopup() && built.CreatePopup());
    const HMENU menu = built.Get(), subMenu = CreatePopupMenu(), keptMenu = kept.Get();
    // {inserted at, item, where it ends up, text read back through the ANSI code page}
    const UINT typed = MIIM_ID | MIIM_TYPE;
    const std::tuple<UINT, CMenuItemDesc, UINT, const wchar_t*> items[] = {
        {0, {L"Vantor", typed | MIIM_SUBMENU, 0, 0, 8, subMenu}, 1, L"Vantor"},
        {0, {L"\x20AC 5", typed | MIIM_STATE | MIIM_DATA, 0, MFS_GRAYED, 9, {}, {}, {}, 7}, 0, L"\x20AC 5"},
        {2, {L"never shown", MIIM_TYPE, MFT_SEPARATOR}, 2, L""},
        {3, {L"Add to \"\x4E2D.zip\"", typed, 0, 0, 10}, 3, L"Add to \"_.zip\""}};
    for (const auto& [position, item, finalPosition, ansiText] : items)
        ASSERT_TRUE(InsertMenuItemDesc(menu, position, true, item));
    for (const auto& [position, item, finalPosition, ansiText] : items)
    {
        wchar_t read[256] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA;
        info.dwTypeData = read;
        info.cch = 256;
        ASSERT_TRUE(GetMenuItemInfoW(menu, finalPosition, TRUE, &info));
        EXPECT_EQ(GetParam() && item.Type == MFT_STRING ? item.Text : CWideString(ansiText), CWideString(read));
        EXPECT_EQ(std::make_tuple(item.Type ? 0 : item.Id, item.Type, item.SubMenu, item.ItemData, item.State),
                  std::make_tuple(info.wID, info.fType & MFT_SEPARATOR, info.hSubMenu, info.dwItemData,
                                  info.fState & MFS_GRAYED));
    }
    {
        CMenuDestroyer disarmed(&kept), armed(&built);
        disarmed.Disarm();
    }
    EXPECT_EQ(std::make_tuple(FALSE, FALSE, TRUE, HMENU()),
              std::make_tuple(IsMenu(menu), IsMenu(subMenu), IsMenu(keptMenu), built.Get()));
    EXPECT_TRUE(kept.Destroy());
    // Texts of both widths are read by the options pages; here what they never meet.
    CWideString text(L"stale");
    EXPECT_TRUE(!GetControlText(reinterpret_cast<HWND>(0x7FFFFFF0), text) && text.IsEmpty()); // no such window
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
    SetLastError(ERROR_ACCESS_DENIED); // a stale code must not make the empty text a failure
    EXPECT_TRUE(GetControlText(edit, text));
    DestroyWindow(edit);
    // Test resources (TestStrings.rc) that count 0123456789 over and over and end with Z.
    std::wstring digits;
    for (int i = 0; i < 600; i++)
        digits += static_cast<wchar_t>(L'0' + i % 10);
    for (const auto& [id, length] : {std::make_pair(9000u, 600), {9001u, 511}, {9002u, 510}, {9003u, 512}})
    {
        AllocHooks::SetGuarded(true); // any write or read past what was made writable faults
        EXPECT_EQ(CWideString((digits.substr(0, length - 1) + L"Z").c_str()), LoadModuleString(id)) << length;
        AllocHooks::SetGuarded(false);
    }
    EXPECT_EQ(CWideString(L"\x20ACuro \x00E9t\x00E9"), LoadResourceString(g_ModuleInstance, 9004));
    EXPECT_TRUE(LoadModuleString(8999).IsEmpty());
}
