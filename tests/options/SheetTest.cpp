#include "OptionsTestSupport.h"
#include "SheetDriver.h"

#include "options/FoldersPage.h"
#include "options/SystemPage.h"
#include "resources/ResourceIds.h"

namespace
{
class OptionsSheet : public COptionsTest
{
};
} // namespace

TEST_F(OptionsSheet, OpensWithCaptionTemplateTabsAndApplyDisabled)
{
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            EXPECT_EQ(L"Vantor Options", WindowText(d.Sheet()));
            EXPECT_EQ(2, d.TabCount());
            // No language: the tabs read the templates' captions.
            EXPECT_EQ(L"System", d.TabTitle(0));
            EXPECT_EQ(L"Folders", d.TabTitle(1));
            EXPECT_TRUE(IsWindow(d.SheetButton(IDOK)));
            EXPECT_TRUE(IsWindow(d.SheetButton(IDCANCEL)));
            EXPECT_TRUE(IsWindowVisible(d.SheetButton(IDHELP))) << "every page has help";
            EXPECT_FALSE(d.ApplyEnabled());
            EXPECT_NE(nullptr, d.PageItem(IDC_SYSTEM_ITEMS_LIST)) << "the System page comes first";
            // Opening the Folders tab sets the path edit's text; that is no change of the user's.
            d.SelectTab(1);
            EXPECT_NE(nullptr, d.PageItem(IDC_FOLDERS_PATH));
            EXPECT_FALSE(d.ApplyEnabled());
            d.PressCancel();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
    EXPECT_TRUE(driver.SawSheet());
}

TEST_F(OptionsSheet, ShowOptionsReturnsSOkWhateverTheUserPressed)
{
    // One object shows the sheet as often as the host asks.
    IPluginOptions* plugin = CreatePlugin();
    ASSERT_NE(nullptr, plugin);
    for (bool ok : {true, false})
    {
        CSheetDriver driver(
            [ok](CSheetDriver& d)
            {
                if (ok)
                    d.PressOK();
                else
                    d.PressCancel();
            });
        EXPECT_EQ(S_OK, plugin->ShowOptions(nullptr, 0x12345678)) << (ok ? "OK" : "Cancel");
        driver.Finish();
        EXPECT_TRUE(driver.SawSheet());
    }
    EXPECT_EQ(0u, plugin->Release());
}

TEST_F(OptionsSheet, AnsiPathConvertsTitlesAndCaption)
{
    struct Case
    {
        bool Wide;
        const wchar_t* SystemTitle;
        const wchar_t* FoldersTitle;
        const wchar_t* Caption;
    };
    const Case cases[] = {
        {true, L"Syst\u00E8me", L"\u041F\u0430\u043F\u043A\u0438", L"Options \u20AC"},
        {false, L"Syst\u00E8me", L"_____", L"Options \u20AC"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Wide ? "wide" : "ANSI");
        CWidePathScope path(c.Wide);
        CSystemPage systemPage;
        CFoldersPage foldersPage;
        COwningVector<CSheetPageInfo> pages;
        CSheetPageInfo page;
        page.Page = &systemPage;
        page.Title = L"Syst\u00E8me";
        page.DialogId = IDD_SYSTEM_PAGE;
        pages.Add(page);
        page.Page = &foldersPage;
        page.Title = L"\u041F\u0430\u043F\u043A\u0438";
        page.DialogId = IDD_FOLDERS_PAGE;
        pages.Add(page);

        CSheetDriver driver(
            [&c](CSheetDriver& d)
            {
                EXPECT_EQ(c.Caption, WindowText(d.Sheet()));
                EXPECT_EQ(c.SystemTitle, d.TabTitle(0));
                EXPECT_EQ(c.FoldersTitle, d.TabTitle(1));
                // The pages work alike on both paths.
                EXPECT_EQ(L"Open archive", d.ListText(0));
                d.SelectTab(1);
                EXPECT_EQ(L"&Working folder", WindowText(d.PageItem(IDC_FOLDERS_GROUP)));
                d.PressCancel();
            });
        ShowPropertySheet(pages, nullptr, CWideString(L"Options \u20AC"));
        driver.Finish();
        EXPECT_TRUE(driver.SawSheet());
    }
}

// Every allocation made while the pages and the sheet are prepared may fail: ShowOptions then
// reports E_OUTOFMEMORY without showing anything and without leaking. The first run that shows
// the sheet has passed the preparation.
TEST_F(OptionsSheet, ExhaustedMemoryWhilePreparingGivesEOutOfMemory)
{
    IPluginOptions* plugin = CreatePlugin();
    ASSERT_NE(nullptr, plugin);
    int failures = 0;
    bool shown = false;
    for (long n = 1; n < 100 && !shown; n++)
    {
        const long blocksBefore = AllocHooks::LiveBlocks();
        CSheetDriver driver([](CSheetDriver& d) { d.PressCancel(); });
        AllocHooks::FailNth(n);
        const HRESULT result = plugin->ShowOptions(nullptr, 0);
        AllocHooks::FailNth(0);
        driver.Finish();
        shown = driver.SawSheet();
        if (shown)
            EXPECT_EQ(S_OK, result) << "allocation " << n;
        else
        {
            EXPECT_EQ(E_OUTOFMEMORY, result) << "allocation " << n;
            failures++;
        }
        EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks()) << "allocation " << n;
    }
    EXPECT_TRUE(shown);
    EXPECT_GE(failures, 4);
    plugin->Release();
}
