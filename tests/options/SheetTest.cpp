// The options sheet worked as a user would: what its pages show of the stored settings, and what
// OK, Apply and Cancel leave behind. Page states are CSheet::State() strings.
#include "OptionsTestSupport.h"

#include "options/FoldersPage.h"
#include "resources/ResourceIds.h"
#include "settings/ShellIntegration.h"

#include <shlobj.h>

namespace
{
using OptionsSheet = COptionsTest;

// A command list that refuses to insert the row of "Extract to" (position 3), as a list whose
// memory ran out would. The hook subclasses the list as it is created, before the page fills it.
WNDPROC g_ListProc = nullptr;
LRESULT CALLBACK RefusingListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool refused = message == LVM_INSERTITEMW && reinterpret_cast<const LVITEMW*>(lParam)->iItem == 3;
    return refused ? -1 : CallWindowProcW(g_ListProc, window, message, wParam, lParam);
}
LRESULT CALLBACK SubclassListOnCreation(int code, WPARAM wParam, LPARAM lParam)
{
    wchar_t name[32] = {};
    if (code == HCBT_CREATEWND && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 32) > 0 &&
        lstrcmpW(name, WC_LISTVIEWW) == 0)
        g_ListProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(reinterpret_cast<HWND>(wParam), GWLP_WNDPROC,
                                                                 reinterpret_cast<LONG_PTR>(RefusingListProc)));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
} // namespace

// One object shows the sheet as often as the host asks. OK saves what the pages show: the mask
// without the bits no row stands for, and an opened page even when nothing was changed; never a
// page that was not opened, and no integration unasked. Opening a page is no change of the user's.
TEST_F(OptionsSheet, PagesShowWhatIsStoredAndOkSavesWhatTheyShow)
{
    const wchar_t* const names[5] = {L"ContextMenu", L"CascadedMenu", L"WorkDirType", L"WorkDirPath",
                                     L"TempRemovableOnly"};
    struct Case
    {
        CStored Stored[5]; // by the names above; {}: none
        bool Registered;
        const wchar_t* System;  // integrate, cascaded, {ticks}
        const wchar_t* Folders; // the three types, <path>, "...", removable drives only; null: not opened
        DWORD SavedMask;
    } const cases[] = {
        {{{}, {}, {}, {}, {}}, false, L"01{11111111111}", L"100-<>-b1", 0x3F37},
        {{Dword(0), Dword(0), Dword(2), Text(L"D:\\Work"), Dword(0)}, true, L"10{00000000000}", L"001<D:\\Work>b0", 0},
        {{Dword(0x28), Dword(1), Dword(0), Text(L"E:\\"), Dword(1)}, false, L"01{10000000000}", L"100-<E:\\>-b1", 0x20},
        {{Dword(0x2205), Dword(0), Dword(1), Text(L""), Dword(0)}, true, L"10{01010011000}", L"010-<>-b0", 0x2205},
        // A specified folder needs a path.
        {{Dword(0x1D12), Dword(1), Dword(2), {}, Dword(0)}, false, L"01{00101100111}", L"100-<>-b0", 0x1D12},
        {{{}, Dword(1), Dword(3), Text(L"F:\\x"), {}}, false, L"01{11111111111}", L"100-<F:\\x>-b1", 0x3F37},
        {{Dword(0x3F37), Dword(1), Dword(7), {}, {}}, false, L"01{11111111111}", nullptr, 0x3F37}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.System << " " << (c.Folders ? c.Folders : L""));
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        for (int i = 0; i < 5; i++)
            if (c.Stored[i] != kNoValue)
                Set(names[i], c.Stored[i]);
        c.Registered ? RegisterShellIntegration() : UnregisterShellIntegration();
        const std::wstring handlers = HandlerKeys();
        EXPECT_EQ(S_OK, ShowOptionsWith(Plugin,
                                        [&](const CSheet& s)
                                        {
                                            EXPECT_TRUE(IsWindowVisible(GetDlgItem(s.Window, IDHELP))) << "help";
                                            EXPECT_EQ(c.System, s.State());
                                            if (c.Folders != nullptr)
                                            {
                                                s.SelectTab(1);
                                                EXPECT_EQ(c.Folders, s.State());
                                            }
                                            EXPECT_FALSE(s.ApplyEnabled());
                                            s.Press(PSBTN_OK);
                                        }));
        // An opened Folders page saves what it shows; an unopened one leaves the stored values.
        const std::wstring folders = c.Folders != nullptr ? c.Folders : L"";
        const size_t path = folders.find(L'<') + 1;
        const CStored saved[5] = {Dword(c.SavedMask), Dword(c.System[1] == L'1'),
                                  c.Folders ? Dword(static_cast<DWORD>(folders.find(L'1'))) : c.Stored[2],
                                  c.Folders ? Text(folders.substr(path, folders.find(L'>') - path)) : c.Stored[3],
                                  c.Folders ? Dword(folders.back() == L'1') : c.Stored[4]};
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(saved[i], Option(names[i])) << names[i];
        EXPECT_EQ(handlers, HandlerKeys());
    }
}

// The box registers anew on every OK, so a removed class key comes back; it removes the
// integration only when the user cleared it, not when it opened clear because one key was lost.
TEST_F(OptionsSheet, IntegrationBoxRegistersAgainAndRemovesOnlyWhenCleared)
{
    RegisterShellIntegration();
    const std::wstring all = HandlerKeys();
    UnregisterShellIntegration();
    // {key removed before, clicks, the System page's two boxes, handler keys after OK: all, as
    // before or none, class key kept}
    const std::tuple<const wchar_t*, std::vector<int>, const wchar_t*, const wchar_t*, bool> steps[] = {
        {nullptr, {IDC_SYSTEM_INTEGRATE, IDC_SYSTEM_CASCADED}, L"01", L"all", true},
        {kHandlerClassKey, {}, L"10", L"all", true},
        {L"Drive\\shellex\\DragDropHandlers\\VANTOR", {IDC_SYSTEM_CASCADED}, L"00", L"before", true},
        {nullptr, {IDC_SYSTEM_INTEGRATE, IDC_SYSTEM_INTEGRATE}, L"01", L"", false}};
    for (const auto& [removed, clicks, shown, after, classKept] : steps)
    {
        if (removed != nullptr)
            DeleteRegistryTree(HKEY_CLASSES_ROOT, removed);
        const std::wstring before = HandlerKeys();
        EXPECT_EQ(S_OK, ShowOptionsWith(Plugin,
                                        [&](const CSheet& s)
                                        {
                                            EXPECT_EQ(shown, s.State().substr(0, 2));
                                            for (int item : clicks)
                                                s.Click(item);
                                            s.Press(PSBTN_OK);
                                        }));
        EXPECT_EQ(*after == L'a' ? all : *after == L'b' ? before : L"", HandlerKeys()) << shown;
        EXPECT_EQ(classKept ? Text(L"Apartment") : kNoValue,
                  RawValue(HKEY_CLASSES_ROOT, kHandlerClassKey + std::wstring(L"\\InprocServer32"), L"ThreadingModel"));
    }
}

// A failed allocation before the sheet shows gives E_OUTOFMEMORY; one while the System page fills
// its controls leaves it with the template's defaults, and OK then saves nothing. Once all rows
// are in, the script cancels, so no run saves.
TEST_F(OptionsSheet, ExhaustedMemoryShowsNothingOrSavesNothing)
{
    Set(L"ContextMenu", Dword(0x28));
    Set(L"CascadedMenu", Dword(1));
    RegisterShellIntegration();
    const std::wstring registered = HandlerKeys();
    HRESULT result = S_OK;
    int notShown = 0, shown = 0;
    ForEachAllocationFailure(
        [&]
        {
            result = ShowOptionsWith(Plugin, [](const CSheet& s)
                                     { s.Press(ListView_GetItemCount(s.List()) == 11 ? PSBTN_CANCEL : PSBTN_OK); });
        },
        [&](bool failed, bool threw)
        {
            EXPECT_FALSE(threw);
            EXPECT_TRUE(result == S_OK || (failed && result == E_OUTOFMEMORY)) << std::hex << result;
            (result == S_OK ? shown : notShown) += failed;
            EXPECT_EQ(std::make_tuple(Dword(0x28), Dword(1), registered),
                      std::make_tuple(Option(L"ContextMenu"), Option(L"CascadedMenu"), HandlerKeys()));
        });
    EXPECT_GE(notShown, 4);
    EXPECT_GE(shown, 10);
}

// A row the list refuses stays out: no other row is ticked for it, and OK saves no bit for it.
// Only a changed tick enables Apply, not a selected row; Cancel keeps what was applied.
TEST_F(OptionsSheet, ARowTheListRefusesIsNeitherTickedNorSaved)
{
    Set(L"ContextMenu", Dword(0x1 | 0x4));
    HHOOK hook = SetWindowsHookExW(WH_CBT, SubclassListOnCreation, nullptr, GetCurrentThreadId());
    EXPECT_EQ(S_OK, ShowOptionsWith(Plugin,
                                    [](const CSheet& s)
                                    {
                                        EXPECT_EQ(L"01{0100000000}", s.State());
                                        EXPECT_EQ(L"Test archive", s.ListText(3));
                                        ListView_SetItemState(s.List(), -1, LVIS_SELECTED, LVIS_SELECTED);
                                        EXPECT_FALSE(s.ApplyEnabled());
                                        s.Tick(9, true); // Compress and email...
                                        EXPECT_TRUE(s.ApplyEnabled());
                                        s.Press(PSBTN_APPLYNOW);
                                        EXPECT_FALSE(s.ApplyEnabled());
                                        s.Tick(0, true);
                                        s.Press(PSBTN_CANCEL);
                                    }));
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(Dword(0x1 | 0x400), Option(L"ContextMenu"));
}

// "..." opens the folder browser, titled as the product says; the folder confirmed with OK lands
// in the edit and turns Apply on. The browser is modal on the sheet's thread: the click is posted.
// The page object rides in its window's user data, which must give the whole pointer back: in the
// 64-bit build it lies above 4 GB.
TEST_F(OptionsSheet, TheFolderConfirmedInTheBrowserLandsInTheEditOfAPageAboveFourGigabytes)
{
    CScratchFolder scratch;
    const CWideString chosen = scratch.AddFolder(L"Chosen");
    Set(L"WorkDirType", Dword(2));
    Set(L"WorkDirPath", Text(L"C:\\High"));
#ifdef _WIN64
    CHighMemory high(sizeof(CFoldersPage));
    BYTE* place = high.Get();
#else
    alignas(CFoldersPage) BYTE place[sizeof(CFoldersPage)];
#endif
    ASSERT_NE(nullptr, place);
    CFoldersPage* page = new (place) CFoldersPage;
    const auto answer = [&](HWND dialog)
    {
        EXPECT_NE(nullptr,
                  FindWindowExW(dialog, nullptr, L"Static", L"Specify a location for temporary archive files."));
        // Wine's browser may stop its tree short of a folder: asked again until the tree shows it.
        const HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
        wchar_t text[16] = {};
        TVITEMW item = {TVIF_TEXT, nullptr, 0, 0, text, 16, 0, 0, 0, 0};
        for (int i = 0; i < 100 && lstrcmpW(text, L"Chosen") != 0; i++, Sleep(50))
        {
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(chosen.Ptr()));
            item.hItem = TreeView_GetSelection(tree);
            SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    };
    const auto script = [&](HWND window)
    {
        const CSheet s{window};
        EXPECT_EQ(L"001<C:\\High>b1", s.State());
        CDialogWatcher browser(nullptr, [&](HWND dialog) { dialog != window ? answer(dialog) : void(); });
        PostMessageW(s.Item(IDC_FOLDERS_BROWSE), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return s.ApplyEnabled(); }));
        EXPECT_EQ(chosen.Ptr(), WindowText(s.Item(IDC_FOLDERS_PATH)));
        s.Press(PSBTN_CANCEL);
    };
    {
        COwningVector<CSheetPageInfo> pages;
        pages.Add(CSheetPageInfo{page, CWideString(), IDD_FOLDERS_PAGE});
        CDialogWatcher watcher(nullptr, script);
        ShowPropertySheet(pages, nullptr, CWideString(L"Options"));
        EXPECT_EQ(1u, watcher.Stop().size());
    }
    page->~CFoldersPage();
}
