#include "OptionsTestSupport.h"
#include "SheetDriver.h"

#include "resources/ResourceIds.h"

#include <shlobj.h>

namespace
{
class FoldersPage : public COptionsTest
{
};

const DWORD kMissing = 0xDEADBEEF;

DWORD StoredNumber(const wchar_t* name)
{
    DWORD value = kMissing;
    Reg::GetNumber(HKEY_CURRENT_USER, kOptionsKey, name, value);
    return value;
}

std::wstring StoredPath()
{
    std::wstring path = L"<missing>";
    Reg::GetText(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirPath", path);
    return path;
}

struct CTextSearch
{
    const wchar_t* Text;
    bool Found;
    static BOOL CALLBACK Visit(HWND child, LPARAM context)
    {
        CTextSearch* search = reinterpret_cast<CTextSearch*>(context);
        if (WindowText(child) == search->Text)
            search->Found = true;
        return TRUE;
    }
};

bool HasChildWithText(HWND parent, const wchar_t* text)
{
    CTextSearch search{text, false};
    EnumChildWindows(parent, &CTextSearch::Visit, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

struct CClassSearch
{
    const wchar_t* ClassName;
    HWND Found;
    static BOOL CALLBACK Visit(HWND child, LPARAM context)
    {
        CClassSearch* search = reinterpret_cast<CClassSearch*>(context);
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        if (search->Found == nullptr && lstrcmpiW(name, search->ClassName) == 0)
            search->Found = child;
        return TRUE;
    }
};

// Text of the folder browser's selected tree item.
std::wstring SelectedTreeText(HWND browser)
{
    CClassSearch search{L"SysTreeView32", nullptr};
    EnumChildWindows(browser, &CClassSearch::Visit, reinterpret_cast<LPARAM>(&search));
    if (search.Found == nullptr)
        return L"";
    HTREEITEM selected = reinterpret_cast<HTREEITEM>(SendMessageW(search.Found, TVM_GETNEXTITEM, TVGN_CARET, 0));
    wchar_t text[MAX_PATH] = {};
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = selected;
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (selected == nullptr || !SendMessageW(search.Found, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return L"";
    return text;
}

// The browser fills and selects its tree as it goes; wait until the wanted folder is selected.
bool WaitForTreeSelection(HWND browser, const std::wstring& text)
{
    for (int i = 0; i < 250; i++)
    {
        if (SelectedTreeText(browser) == text)
            return true;
        Sleep(20);
    }
    ADD_FAILURE() << "selected: " << testing::PrintToString(SelectedTreeText(browser));
    return false;
}

std::wstring LastName(const std::wstring& path)
{
    return path.substr(path.rfind(L'\\') + 1);
}

const int kRadios[3] = {IDC_FOLDERS_SYSTEM_TEMP, IDC_FOLDERS_CURRENT, IDC_FOLDERS_SPECIFIED};

} // namespace

TEST_F(FoldersPage, ControlsShowWhatIsStored)
{
    struct Case
    {
        const wchar_t* Name;
        DWORD Type;          // kMissing: nothing stored
        const wchar_t* Path; // null: not stored
        DWORD Removable;     // kMissing: not stored
        int ExpectedRadio;
        const wchar_t* ExpectedEdit;
        bool ExpectedRemovable;
    };
    const Case cases[] = {
        {L"nothing stored", kMissing, nullptr, kMissing, 0, L"", true},
        {L"specified folder", 2, L"D:\\Temp\\Work", 0, 2, L"D:\\Temp\\Work", false},
        // A folder named before stays visible, disabled.
        {L"leftover path", 0, L"E:\\Old", 1, 0, L"E:\\Old", true},
        {L"current folder", 1, L"", 0, 1, L"", false},
        {L"specified without path", 2, nullptr, 0, 0, L"", false},
        {L"out of range", 3, L"F:\\x", kMissing, 0, L"F:\\x", true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << std::string(c.Name, c.Name + wcslen(c.Name)));
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        if (c.Type != kMissing)
            Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirType", c.Type);
        if (c.Path != nullptr)
            Reg::SetText(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirPath", c.Path);
        if (c.Removable != kMissing)
            Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"TempRemovableOnly", c.Removable);
        CSheetDriver driver(
            [&c](CSheetDriver& d)
            {
                d.SelectTab(1);
                for (int radio = 0; radio < 3; radio++)
                    EXPECT_EQ(radio == c.ExpectedRadio, d.IsChecked(kRadios[radio])) << "radio " << radio;
                EXPECT_EQ(c.ExpectedEdit, WindowText(d.PageItem(IDC_FOLDERS_PATH)));
                EXPECT_EQ(c.ExpectedRadio == 2, d.IsEnabled(IDC_FOLDERS_PATH));
                EXPECT_EQ(c.ExpectedRadio == 2, d.IsEnabled(IDC_FOLDERS_BROWSE));
                EXPECT_TRUE(d.IsEnabled(IDC_FOLDERS_REMOVABLE_ONLY));
                EXPECT_EQ(c.ExpectedRemovable, d.IsChecked(IDC_FOLDERS_REMOVABLE_ONLY));
                EXPECT_FALSE(d.ApplyEnabled());
                d.PressCancel();
            });
        EXPECT_EQ(S_OK, ShowOptionsOnce());
        driver.Finish();
        EXPECT_TRUE(driver.SawSheet());
    }
}

TEST_F(FoldersPage, ChoosingCurrentDisablesThePathAndKeepsItOnApply)
{
    Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirType", 2);
    Reg::SetText(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirPath", L"D:\\Scratch");
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            d.SelectTab(1);
            d.ClickPageItem(IDC_FOLDERS_CURRENT);
            EXPECT_FALSE(d.IsEnabled(IDC_FOLDERS_PATH));
            EXPECT_FALSE(d.IsEnabled(IDC_FOLDERS_BROWSE));
            EXPECT_TRUE(d.ApplyEnabled());
            d.ClickPageItem(IDC_FOLDERS_REMOVABLE_ONLY);
            d.PressOK();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
    EXPECT_EQ(1u, StoredNumber(L"WorkDirType"));
    EXPECT_EQ(L"D:\\Scratch", StoredPath());
    EXPECT_EQ(0u, StoredNumber(L"TempRemovableOnly"));
}

TEST_F(FoldersPage, TypedPathIsStoredAsTyped)
{
    // Not checked for existence, not completed with a backslash; an empty one is not refused.
    for (const wchar_t* typed : {L"Q:\\does not exist", L"relative\\dir", L""})
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        CSheetDriver driver(
            [typed](CSheetDriver& d)
            {
                d.SelectTab(1);
                d.ClickPageItem(IDC_FOLDERS_SPECIFIED);
                EXPECT_TRUE(d.IsEnabled(IDC_FOLDERS_PATH));
                SetWindowTextW(d.PageItem(IDC_FOLDERS_PATH), L"x");
                SetWindowTextW(d.PageItem(IDC_FOLDERS_PATH), typed);
                EXPECT_TRUE(d.ApplyEnabled());
                d.PressApply();
                d.PressCancel();
            });
        EXPECT_EQ(S_OK, ShowOptionsOnce());
        driver.Finish();
        EXPECT_EQ(2u, StoredNumber(L"WorkDirType"));
        EXPECT_EQ(typed, StoredPath());
        EXPECT_EQ(1u, StoredNumber(L"TempRemovableOnly"));
    }
}

TEST_F(FoldersPage, NeverOpenedIsNeverSaved)
{
    Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirType", 7);
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            d.ClickPageItem(IDC_SYSTEM_CASCADED);
            d.PressOK();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
    EXPECT_EQ(0u, StoredNumber(L"CascadedMenu")) << "the System page was applied";
    EXPECT_EQ(7u, StoredNumber(L"WorkDirType"));
    EXPECT_FALSE(Reg::ValueExists(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirPath"));
    EXPECT_FALSE(Reg::ValueExists(HKEY_CURRENT_USER, kOptionsKey, L"TempRemovableOnly"));
}

TEST_F(FoldersPage, OpenedPageIsSavedOnOkEvenUnchanged)
{
    Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirType", 0);
    Reg::SetText(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirPath", L"E:\\Old");
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            d.SelectTab(1);
            d.SelectTab(0);
            d.PressOK();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
    EXPECT_EQ(0u, StoredNumber(L"WorkDirType"));
    EXPECT_EQ(L"E:\\Old", StoredPath());
    EXPECT_EQ(1u, StoredNumber(L"TempRemovableOnly"));
}

TEST_F(FoldersPage, BrowserStartsAtThePathChoosesAndCancellingStillEnablesApply)
{
    CScratchFolder scratch;
    // The browser gives folders without the trailing backslash.
    std::wstring folder(scratch.Path().Ptr());
    folder.pop_back();
    std::wstring other(scratch.AddFolder(L"Other").Ptr());
    Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirType", 2);
    Reg::SetText(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirPath", folder);
    for (bool choose : {false, true})
    {
        SCOPED_TRACE(choose ? "chosen" : "cancelled");
        CSheetDriver driver(
            [choose, &folder, &other](CSheetDriver& d)
            {
                d.SelectTab(1);
                ASSERT_FALSE(d.ApplyEnabled());
                // The browser is modal on the sheet's thread: post the click, then find the browser.
                PostMessageW(d.PageItem(IDC_FOLDERS_BROWSE), BM_CLICK, 0, 0);
                HWND browser = d.WaitForOtherDialog(15000);
                ASSERT_NE(nullptr, browser);
                // The browser shows its title as a static text.
                EXPECT_TRUE(HasChildWithText(browser, L"Specify a location for temporary archive files."));
                // It starts at the folder in the edit.
                EXPECT_TRUE(WaitForTreeSelection(browser, LastName(folder)));
                if (choose)
                {
                    SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(other.c_str()));
                    EXPECT_TRUE(WaitForTreeSelection(browser, L"Other"));
                }
                PostMessageW(browser, WM_COMMAND, choose ? IDOK : IDCANCEL, 0);
                EXPECT_TRUE(CSheetDriver::WaitForWindowGone(browser, 10000));
                EXPECT_TRUE(d.ApplyEnabled());
                EXPECT_EQ(choose ? other : folder, WindowText(d.PageItem(IDC_FOLDERS_PATH)));
                d.PressCancel();
            });
        EXPECT_EQ(S_OK, ShowOptionsOnce());
        driver.Finish();
    }
}
