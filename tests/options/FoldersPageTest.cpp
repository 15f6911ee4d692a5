// The Folders page: the work folder's type, path and removable-drive flag.
#include "OptionsTestSupport.h"

#include "resources/ResourceIds.h"

namespace
{
using FoldersPage = COptionsTest;

const int kRadios[3] = {IDC_FOLDERS_SYSTEM_TEMP, IDC_FOLDERS_CURRENT, IDC_FOLDERS_SPECIFIED};
} // namespace

// The controls show what is stored, and OK saves an opened page even when nothing was changed.
TEST_F(FoldersPage, ControlsShowWhatIsStoredAndOkSavesWhatTheyShow)
{
    struct Case
    {
        const char* Name;
        DWORD Type;          // kMissing: nothing stored
        const wchar_t* Path; // null: not stored
        DWORD Removable;     // kMissing: not stored
        DWORD ExpectedType;
        const wchar_t* ExpectedPath;
        DWORD ExpectedRemovable;
    } const cases[] = {
        {"nothing stored", kMissing, nullptr, kMissing, 0, L"", 1},
        {"specified folder", 2, L"D:\\Temp\\Work", 0, 2, L"D:\\Temp\\Work", 0},
        // A folder named before stays visible, disabled.
        {"leftover path", 0, L"E:\\Old", 1, 0, L"E:\\Old", 1},
        {"current folder", 1, L"", 0, 1, L"", 0},
        {"specified without path", 2, nullptr, 0, 0, L"", 0},
        {"out of range", 3, L"F:\\x", kMissing, 0, L"F:\\x", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Name);
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        if (c.Type != kMissing)
            SetNumber(L"WorkDirType", c.Type);
        if (c.Path != nullptr)
            SetText(L"WorkDirPath", c.Path);
        if (c.Removable != kMissing)
            SetNumber(L"TempRemovableOnly", c.Removable);
        ShowOptionsWith(
            [&c](CSheetDriver& d)
            {
                d.SelectTab(1);
                for (DWORD radio = 0; radio < 3; radio++)
                    EXPECT_EQ(radio == c.ExpectedType, d.IsChecked(kRadios[radio])) << "radio " << radio;
                EXPECT_EQ(c.ExpectedPath, d.Text(IDC_FOLDERS_PATH));
                EXPECT_EQ(c.ExpectedType == 2, d.IsEnabled(IDC_FOLDERS_PATH));
                EXPECT_EQ(c.ExpectedType == 2, d.IsEnabled(IDC_FOLDERS_BROWSE));
                EXPECT_TRUE(d.IsEnabled(IDC_FOLDERS_REMOVABLE_ONLY));
                EXPECT_EQ(c.ExpectedRemovable != 0, d.IsChecked(IDC_FOLDERS_REMOVABLE_ONLY));
                EXPECT_FALSE(d.ApplyEnabled());
                d.SelectTab(0);
                d.Press(PSBTN_OK);
            });
        EXPECT_EQ(c.ExpectedType, StoredNumber(L"WorkDirType"));
        EXPECT_EQ(c.ExpectedPath, StoredText(L"WorkDirPath"));
        EXPECT_EQ(c.ExpectedRemovable, StoredNumber(L"TempRemovableOnly"));
    }
}

TEST_F(FoldersPage, ChoosingCurrentDisablesThePathAndKeepsItOnApply)
{
    SetNumber(L"WorkDirType", 2);
    SetText(L"WorkDirPath", L"D:\\Scratch");
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            d.SelectTab(1);
            d.Click(IDC_FOLDERS_CURRENT);
            EXPECT_FALSE(d.IsEnabled(IDC_FOLDERS_PATH));
            EXPECT_FALSE(d.IsEnabled(IDC_FOLDERS_BROWSE));
            EXPECT_TRUE(d.ApplyEnabled());
            d.Click(IDC_FOLDERS_REMOVABLE_ONLY);
            d.Press(PSBTN_OK);
        });
    EXPECT_EQ(1u, StoredNumber(L"WorkDirType"));
    EXPECT_EQ(L"D:\\Scratch", StoredText(L"WorkDirPath"));
    EXPECT_EQ(0u, StoredNumber(L"TempRemovableOnly"));
}

TEST_F(FoldersPage, TypedPathIsStoredAsTyped)
{
    // Not checked for existence, not completed with a backslash; an empty one is not refused.
    for (const wchar_t* typed : {L"Q:\\does not exist", L"relative\\dir", L""})
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        ShowOptionsWith(
            [typed](CSheetDriver& d)
            {
                d.SelectTab(1);
                d.Click(IDC_FOLDERS_SPECIFIED);
                EXPECT_TRUE(d.IsEnabled(IDC_FOLDERS_PATH));
                SetWindowTextW(d.PageItem(IDC_FOLDERS_PATH), L"x");
                SetWindowTextW(d.PageItem(IDC_FOLDERS_PATH), typed);
                EXPECT_TRUE(d.ApplyEnabled());
                d.Press(PSBTN_APPLYNOW);
                d.Press(PSBTN_CANCEL);
            });
        EXPECT_EQ(2u, StoredNumber(L"WorkDirType"));
        EXPECT_EQ(typed, StoredText(L"WorkDirPath"));
        EXPECT_EQ(1u, StoredNumber(L"TempRemovableOnly"));
    }
}

TEST_F(FoldersPage, NeverOpenedIsNeverSaved)
{
    SetNumber(L"WorkDirType", 7);
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            d.Click(IDC_SYSTEM_CASCADED);
            d.Press(PSBTN_OK);
        });
    EXPECT_EQ(0u, StoredNumber(L"CascadedMenu")) << "the System page was applied";
    EXPECT_EQ(7u, StoredNumber(L"WorkDirType"));
    EXPECT_EQ(L"<missing>", StoredText(L"WorkDirPath"));
    EXPECT_EQ(kMissing, StoredNumber(L"TempRemovableOnly"));
}

TEST_F(FoldersPage, CancellingTheBrowserStillEnablesApply)
{
    SetNumber(L"WorkDirType", 2);
    SetText(L"WorkDirPath", L"C:\\windows");
    ShowOptionsWith(
        [](CSheetDriver& d)
        {
            d.SelectTab(1);
            // The browser is modal on the sheet's thread: post the click, then find the browser.
            PostMessageW(d.PageItem(IDC_FOLDERS_BROWSE), BM_CLICK, 0, 0);
            HWND browser = d.WaitForOtherDialog(15000);
            ASSERT_NE(nullptr, browser);
            EXPECT_NE(nullptr,
                      FindWindowExW(browser, nullptr, L"Static", L"Specify a location for temporary archive files."));
            PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(CSheetDriver::WaitForWindowGone(browser, 10000));
            // The browser's window goes before the page's thread has returned from it and marked
            // the page changed: give that thread its moment.
            for (int waited = 0; !d.ApplyEnabled() && waited < 5000; waited += 20)
                Sleep(20);
            EXPECT_TRUE(d.ApplyEnabled());
            EXPECT_EQ(L"C:\\windows", d.Text(IDC_FOLDERS_PATH));
            d.Press(PSBTN_CANCEL);
        });
}
