#include "OptionsTestSupport.h"
#include "SheetDriver.h"

#include "resources/ResourceIds.h"
#include "settings/ShellIntegration.h"

#include <olectl.h>

namespace
{
class SystemPage : public COptionsTest
{
};

const wchar_t* const kRowTexts[11] = {
    L"Open archive",
    L"Extract files...",
    L"Extract Here",
    L"Extract to <Folder>",
    L"Test archive",
    L"Add to <Archive>.zip",
    L"Compress to <Archive>.zip and email",
    L"Add to <Archive>.VNTX",
    L"Compress to <Archive>.VNTX and email",
    L"Add to archive...",
    L"Compress and email...",
};
const DWORD kRowFlags[11] = {0x20, 0x1, 0x2, 0x4, 0x10, 0x1000, 0x2000, 0x200, 0x800, 0x100, 0x400};
const DWORD kAllCommands = 0x3F37;

DWORD StoredNumber(const wchar_t* name, DWORD missing = 0xDEADBEEF)
{
    DWORD value = missing;
    Reg::GetNumber(HKEY_CURRENT_USER, kOptionsKey, name, value);
    return value;
}

void ExpectTicks(CSheetDriver& d, DWORD mask)
{
    for (int row = 0; row < 11; row++)
        EXPECT_EQ((mask & kRowFlags[row]) != 0, d.ListChecked(row)) << "row " << row;
}
} // namespace

TEST_F(SystemPage, ListsElevenCommandsAllTickedWhenNothingIsStored)
{
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            ASSERT_EQ(11, d.ListCount());
            for (int row = 0; row < 11; row++)
                EXPECT_EQ(kRowTexts[row], d.ListText(row)) << "row " << row;
            ExpectTicks(d, kAllCommands);
            EXPECT_EQ(L"Integrate Vantor to shell context menu", WindowText(d.PageItem(IDC_SYSTEM_INTEGRATE)));
            EXPECT_EQ(L"Cascaded context menu", WindowText(d.PageItem(IDC_SYSTEM_CASCADED)));
            EXPECT_EQ(L"Context menu items:", WindowText(d.PageItem(IDC_SYSTEM_ITEMS_LABEL)));
            EXPECT_FALSE(d.IsChecked(IDC_SYSTEM_INTEGRATE)) << "nothing is registered";
            EXPECT_TRUE(d.IsChecked(IDC_SYSTEM_CASCADED)) << "cascaded when nothing is stored";
            d.PressCancel();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
    EXPECT_FALSE(Reg::KeyExists(HKEY_CURRENT_USER, kOptionsKey)) << "Cancel saves nothing";
}

TEST_F(SystemPage, ControlsShowWhatIsStored)
{
    struct Case
    {
        DWORD Mask;
        DWORD Cascaded;
        bool Registered;
    };
    const Case cases[] = {
        {0, 0, false},
        {kAllCommands, 1, true},
        {0x20 | 0x8, 1, false},
        {0x1 | 0x4 | 0x200 | 0x2000, 0, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "mask " << std::hex << c.Mask);
        Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"ContextMenu", c.Mask);
        Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"CascadedMenu", c.Cascaded);
        if (c.Registered)
            RegisterShellIntegration();
        else
            UnregisterShellIntegration();
        CSheetDriver driver(
            [&c](CSheetDriver& d)
            {
                ExpectTicks(d, c.Mask);
                EXPECT_EQ(c.Cascaded != 0, d.IsChecked(IDC_SYSTEM_CASCADED));
                EXPECT_EQ(c.Registered, d.IsChecked(IDC_SYSTEM_INTEGRATE));
                EXPECT_FALSE(d.ApplyEnabled());
                d.PressCancel();
            });
        EXPECT_EQ(S_OK, ShowOptionsOnce());
        driver.Finish();
        EXPECT_TRUE(driver.SawSheet());
    }
}

TEST_F(SystemPage, OkRewritesTheMaskWithoutForeignBits)
{
    Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"ContextMenu", 0x8 | 0x20);
    CSheetDriver driver([](CSheetDriver& d) { d.PressOK(); });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
    EXPECT_EQ(0x20u, StoredNumber(L"ContextMenu"));
    EXPECT_EQ(1u, StoredNumber(L"CascadedMenu"));
    // The box was clear: every apply unregisters then.
    EXPECT_FALSE(AnyHandlerKeyPresent());
    EXPECT_FALSE(Reg::KeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
}

TEST_F(SystemPage, TickingAndClearingRowsEnablesApplyAndSavesTheMask)
{
    Reg::SetNumber(HKEY_CURRENT_USER, kOptionsKey, L"ContextMenu", 0x1 | 0x2 | 0x4);
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            EXPECT_FALSE(d.ApplyEnabled());
            d.SetListChecked(1, false); // Extract files...
            EXPECT_TRUE(d.ApplyEnabled());
            d.SetListChecked(10, true); // Compress and email...
            d.SetListChecked(7, true);  // Add to <Archive>.VNTX
            d.PressApply();
            EXPECT_FALSE(d.ApplyEnabled()) << "applied";
            EXPECT_EQ(0x2u | 0x4u | 0x400u | 0x200u, StoredNumber(L"ContextMenu"));
            d.SetListChecked(7, false);
            d.PressCancel();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
    EXPECT_EQ(0x2u | 0x4u | 0x400u | 0x200u, StoredNumber(L"ContextMenu")) << "Cancel keeps what was applied";
}

TEST_F(SystemPage, SelectingARowLeavesApplyDisabled)
{
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            d.SelectListRow(3);
            d.SelectListRow(5);
            EXPECT_FALSE(d.ApplyEnabled());
            EXPECT_TRUE(d.ListChecked(3));
            d.PressCancel();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
}

TEST_F(SystemPage, IntegrationBoxRegistersAndRemovesTheHandler)
{
    CSheetDriver registering(
        [](CSheetDriver& d)
        {
            d.ClickPageItem(IDC_SYSTEM_INTEGRATE);
            EXPECT_TRUE(d.ApplyEnabled());
            d.ClickPageItem(IDC_SYSTEM_CASCADED);
            d.PressApply();
            EXPECT_TRUE(AllRegisteredHandlerKeysPresent());
            std::wstring threading;
            EXPECT_TRUE(Reg::GetText(HKEY_CLASSES_ROOT, (std::wstring(kHandlerClassKey) + L"\\InprocServer32").c_str(),
                                     L"ThreadingModel", threading));
            EXPECT_EQ(L"Apartment", threading);
            d.PressOK();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    registering.Finish();
    EXPECT_EQ(0u, StoredNumber(L"CascadedMenu"));
    EXPECT_EQ(kAllCommands, StoredNumber(L"ContextMenu"));

    // The next opening shows the registration; clearing the box removes every handler key.
    CSheetDriver removing(
        [](CSheetDriver& d)
        {
            EXPECT_TRUE(d.IsChecked(IDC_SYSTEM_INTEGRATE));
            EXPECT_FALSE(d.IsChecked(IDC_SYSTEM_CASCADED));
            d.ClickPageItem(IDC_SYSTEM_INTEGRATE);
            d.PressOK();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    removing.Finish();
    EXPECT_FALSE(AnyHandlerKeyPresent());
    EXPECT_FALSE(Reg::KeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
}

TEST_F(SystemPage, ApplyRegistersAgainWhenAlreadyIntegrated)
{
    DllRegisterServer();
    RegisterShellIntegration();
    // Someone removed the class key; the box still shows the shell keys as integrated.
    DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            EXPECT_TRUE(d.IsChecked(IDC_SYSTEM_INTEGRATE));
            d.PressOK();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
    EXPECT_TRUE(Reg::KeyExists(HKEY_CLASSES_ROOT, (std::wstring(kHandlerClassKey) + L"\\InprocServer32").c_str()));
    EXPECT_TRUE(AllRegisteredHandlerKeysPresent());
}
