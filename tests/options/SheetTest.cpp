// The options sheet and its System page, worked as a user would.
#include "OptionsTestSupport.h"

#include "resources/ResourceIds.h"
#include "options/FoldersPage.h"
#include "settings/ShellIntegration.h"

namespace
{
using OptionsSheet = COptionsTest;

const wchar_t* const kRowTexts[11] = {L"Open archive",
                                      L"Extract files...",
                                      L"Extract Here",
                                      L"Extract to <Folder>",
                                      L"Test archive",
                                      L"Add to <Archive>.zip",
                                      L"Compress to <Archive>.zip and email",
                                      L"Add to <Archive>.VNTX",
                                      L"Compress to <Archive>.VNTX and email",
                                      L"Add to archive...",
                                      L"Compress and email..."};
const DWORD kRowFlags[11] = {0x20, 0x1, 0x2, 0x4, 0x10, 0x1000, 0x2000, 0x200, 0x800, 0x100, 0x400};
const DWORD kAllCommands = 0x3F37;

void ExpectTicks(CSheetDriver& d, DWORD mask)
{
    for (int row = 0; row < 11; row++)
        EXPECT_EQ((mask & kRowFlags[row]) != 0, d.ListChecked(row)) << "row " << row;
}
// A command list that refuses to insert the row of "Extract to" (position 3), as a list whose
// memory ran out would.
struct CRefusingList
{
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == LVM_INSERTITEMW && reinterpret_cast<const LVITEMW*>(lParam)->iItem == 3)
            return -1; // "Extract to"
        return CallWindowProcW(Original, window, message, wParam, lParam);
    }
    // Subclasses the command list as it is created, before the page fills it.
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        wchar_t className[32] = {};
        if (code == HCBT_CREATEWND && GetClassNameW(reinterpret_cast<HWND>(wParam), className, 32) > 0 &&
            std::wstring(className) == WC_LISTVIEWW)
            Original = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(reinterpret_cast<HWND>(wParam), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static WNDPROC Original;
};
WNDPROC CRefusingList::Original = nullptr;
} // namespace

TEST_F(OptionsSheet, OpensWithTemplateTextsDefaultsAndApplyDisabled)
{
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            EXPECT_EQ(L"Vantor Options", WindowText(d.Sheet()));
            // No language: the tabs read the templates' captions.
            EXPECT_EQ(2, TabCtrl_GetItemCount(d.Tabs()));
            EXPECT_EQ(L"System", d.TabTitle(0));
            EXPECT_EQ(L"Folders", d.TabTitle(1));
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(d.Sheet(), IDHELP))) << "every page has help";
            EXPECT_FALSE(d.ApplyEnabled());
            ASSERT_EQ(11, ListView_GetItemCount(d.List()));
            for (int row = 0; row < 11; row++)
                EXPECT_EQ(kRowTexts[row], d.ListText(row)) << "row " << row;
            ExpectTicks(d, kAllCommands);
            EXPECT_EQ(L"Integrate Vantor to shell context menu", d.Text(IDC_SYSTEM_INTEGRATE));
            EXPECT_EQ(L"Cascaded context menu", d.Text(IDC_SYSTEM_CASCADED));
            EXPECT_EQ(L"Context menu items:", d.Text(IDC_SYSTEM_ITEMS_LABEL));
            EXPECT_FALSE(d.IsChecked(IDC_SYSTEM_INTEGRATE)) << "nothing is registered";
            EXPECT_TRUE(d.IsChecked(IDC_SYSTEM_CASCADED)) << "cascaded when nothing is stored";
            // Opening the Folders tab fills the path edit; that is no change of the user's.
            d.SelectTab(1);
            EXPECT_FALSE(d.ApplyEnabled());
            d.Press(PSBTN_CANCEL);
        });
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kOptionsKey)) << "Cancel saves nothing";
}

TEST_F(OptionsSheet, SystemControlsShowWhatIsStored)
{
    struct Case
    {
        DWORD Mask;
        DWORD Cascaded;
        bool Registered;
    } const cases[] = {
        {0, 0, false},
        {kAllCommands, 1, true},
        {0x20 | 0x8, 1, false},
        {0x1 | 0x4 | 0x200 | 0x2000, 0, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "mask " << std::hex << c.Mask);
        SetNumber(L"ContextMenu", c.Mask);
        SetNumber(L"CascadedMenu", c.Cascaded);
        c.Registered ? RegisterShellIntegration() : UnregisterShellIntegration();
        ShowOptionsWith(
            [&c](CSheetDriver& d)
            {
                ExpectTicks(d, c.Mask);
                EXPECT_EQ(c.Cascaded != 0, d.IsChecked(IDC_SYSTEM_CASCADED));
                EXPECT_EQ(c.Registered, d.IsChecked(IDC_SYSTEM_INTEGRATE));
                EXPECT_FALSE(d.ApplyEnabled());
                d.Press(PSBTN_CANCEL);
            });
    }
}

// One object shows the sheet as often as the host asks; Cancel saves nothing, OK rewrites the
// mask without the bits that no row stands for.
TEST_F(OptionsSheet, CancelKeepsAndOkRewritesTheMaskWithoutForeignBits)
{
    SetNumber(L"ContextMenu", 0x8 | 0x20);
    IPluginOptions* plugin = CreatePlugin();
    ASSERT_NE(nullptr, plugin);
    ShowOptionsWith([](CSheetDriver& d) { d.Press(PSBTN_CANCEL); }, plugin);
    EXPECT_EQ(0x28u, StoredNumber(L"ContextMenu"));
    EXPECT_EQ(kMissing, StoredNumber(L"CascadedMenu"));
    ShowOptionsWith([](CSheetDriver& d) { d.Press(PSBTN_OK); }, plugin);
    EXPECT_EQ(0u, plugin->Release());
    EXPECT_EQ(0x20u, StoredNumber(L"ContextMenu"));
    EXPECT_EQ(1u, StoredNumber(L"CascadedMenu"));
    // Nothing was registered, and OK without a click on the box registers nothing.
    EXPECT_FALSE(AnyHandlerKeyPresent());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
}

TEST_F(OptionsSheet, TickingAndClearingRowsEnablesApplyAndSavesTheMask)
{
    SetNumber(L"ContextMenu", 0x1 | 0x2 | 0x4);
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            // Selecting rows without changing a tick is no change.
            for (int row : {3, 5})
                ListView_SetItemState(d.List(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            EXPECT_TRUE(d.ListChecked(3));
            EXPECT_FALSE(d.ApplyEnabled());
            d.SetListChecked(1, false); // Extract files...
            EXPECT_TRUE(d.ApplyEnabled());
            d.SetListChecked(10, true); // Compress and email...
            d.SetListChecked(7, true);  // Add to <Archive>.VNTX
            d.Press(PSBTN_APPLYNOW);
            EXPECT_FALSE(d.ApplyEnabled()) << "applied";
            EXPECT_EQ(0x2u | 0x4u | 0x400u | 0x200u, StoredNumber(L"ContextMenu"));
            d.SetListChecked(7, false);
            d.Press(PSBTN_CANCEL);
        });
    EXPECT_EQ(0x2u | 0x4u | 0x400u | 0x200u, StoredNumber(L"ContextMenu")) << "Cancel keeps what was applied";
}

TEST_F(OptionsSheet, IntegrationBoxRegistersAgainAndRemovesTheHandler)
{
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            d.Click(IDC_SYSTEM_INTEGRATE);
            EXPECT_TRUE(d.ApplyEnabled());
            d.Click(IDC_SYSTEM_CASCADED);
            d.Press(PSBTN_APPLYNOW);
            EXPECT_TRUE(AllRegisteredHandlerKeysPresent());
            EXPECT_EQ(L"Apartment", StoredText(L"ThreadingModel", HKEY_CLASSES_ROOT, kHandlerServerKey));
            d.Press(PSBTN_OK);
        });
    EXPECT_EQ(0u, StoredNumber(L"CascadedMenu"));
    EXPECT_EQ(kAllCommands, StoredNumber(L"ContextMenu"));

    // Someone removed the class key; the box still shows the shell keys, and OK registers again.
    DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            EXPECT_TRUE(d.IsChecked(IDC_SYSTEM_INTEGRATE));
            EXPECT_FALSE(d.IsChecked(IDC_SYSTEM_CASCADED));
            d.Press(PSBTN_OK);
        });
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerServerKey));
    EXPECT_TRUE(AllRegisteredHandlerKeysPresent());

    // Another program removed one handler key: the box opens clear, and OK after a change of
    // another control leaves the other keys and the class as they are.
    DeleteRegistryTree(HKEY_CLASSES_ROOT, L"Drive\\shellex\\DragDropHandlers\\VANTOR");
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            EXPECT_FALSE(d.IsChecked(IDC_SYSTEM_INTEGRATE));
            d.Click(IDC_SYSTEM_CASCADED);
            d.Press(PSBTN_OK);
        });
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\VANTOR"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kHandlerServerKey));
    EXPECT_EQ(1u, StoredNumber(L"CascadedMenu"));

    // Clearing the box (a click) is what removes them.
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            d.Click(IDC_SYSTEM_INTEGRATE);
            d.Click(IDC_SYSTEM_INTEGRATE);
            d.Press(PSBTN_OK);
        });
    EXPECT_FALSE(AnyHandlerKeyPresent());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
}

// Every allocation made while the pages and the sheet are prepared may fail: ShowOptions then
// reports E_OUTOFMEMORY without showing anything and without leaking. Once the sheet shows, a
// failure while the System page fills its controls leaves it with the template's defaults: OK
// then saves nothing, and the integration stays.
TEST_F(OptionsSheet, ExhaustedMemoryBeforeTheSheetOrWhileAPageIsSetUpSavesNothing)
{
    SetNumber(L"ContextMenu", 0x28);
    SetNumber(L"CascadedMenu", 1);
    RegisterShellIntegration();
    IPluginOptions* plugin = CreatePlugin();
    ASSERT_NE(nullptr, plugin);
    int notShown = 0, shownAfterFailure = 0;
    for (long n = 1; n < 1000; n++)
    {
        const long blocksBefore = AllocHooks::LiveBlocks();
        int rows = 0;
        CSheetDriver driver(
            [&rows](CSheetDriver& d)
            {
                rows = ListView_GetItemCount(d.List());
                d.Press(PSBTN_OK);
            });
        AllocHooks::FailNth(n);
        const HRESULT result = plugin->ShowOptions(nullptr, 0);
        AllocHooks::FailNth(0);
        driver.Finish();
        // The page's last allocation makes its last row: with eleven rows the set-up went through,
        // and this OK (or a failure after it) saved for real.
        if (rows == 11)
            break;
        EXPECT_EQ(driver.SawSheet() ? S_OK : E_OUTOFMEMORY, result) << "allocation " << n;
        (driver.SawSheet() ? shownAfterFailure : notShown)++;
        EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks()) << "allocation " << n;
        EXPECT_EQ(0x28u, StoredNumber(L"ContextMenu")) << "allocation " << n;
        EXPECT_EQ(1u, StoredNumber(L"CascadedMenu")) << "allocation " << n;
        EXPECT_TRUE(AllRegisteredHandlerKeysPresent()) << "allocation " << n;
    }
    EXPECT_GE(notShown, 4);
    EXPECT_GE(shownAfterFailure, 10);
    plugin->Release();
}

// The list may refuse a row (its memory ran out): the row stays out, no other row is ticked for it,
// and Apply saves no bit for it.
TEST_F(OptionsSheet, ARowTheListRefusesIsNeitherTickedNorSaved)
{
    SetNumber(L"ContextMenu", 0x1 | 0x4);
    HHOOK hook = SetWindowsHookExW(WH_CBT, CRefusingList::Hook, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            ASSERT_EQ(10, ListView_GetItemCount(d.List()));
            EXPECT_EQ(L"Test archive", d.ListText(3));
            for (int row = 0; row < 10; row++)
                EXPECT_EQ(row == 1, d.ListChecked(row)) << "row " << row;
            d.Press(PSBTN_OK);
        });
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(0x1u, StoredNumber(L"ContextMenu"));
}

#ifdef _WIN64
TEST_F(OptionsSheet, APageAboveFourGigabytesIsFoundByItsWindow)
{
    // The page object rides in its window's user data, which must give the whole pointer back.
    SetNumber(L"WorkDirType", 2);
    SetText(L"WorkDirPath", L"C:\\High");
    CHighMemory high(sizeof(CFoldersPage));
    ASSERT_NE(nullptr, high.Get());
    CFoldersPage* page = new (high.Get()) CFoldersPage;
    {
        COwningVector<CSheetPageInfo> pages;
        CSheetPageInfo info;
        info.Page = page;
        info.DialogId = IDD_FOLDERS_PAGE;
        pages.Add(info);
        CSheetDriver driver(
            [](CSheetDriver& d)
            {
                EXPECT_EQ(L"C:\\High", d.Text(IDC_FOLDERS_PATH));
                EXPECT_TRUE(d.IsChecked(IDC_FOLDERS_SPECIFIED));
                d.Press(PSBTN_CANCEL);
            });
        ShowPropertySheet(pages, nullptr, CWideString(L"Options"));
        driver.Finish();
        EXPECT_TRUE(driver.SawSheet());
    }
    page->~CFoldersPage();
}
#endif
