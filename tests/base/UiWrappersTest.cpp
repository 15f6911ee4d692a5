#include "TestSupport.h"

#include "base/UiWrappers.h"
#include "server/Module.h"

class UiWrappersTest : public CModuleTest, public ::testing::WithParamInterface<bool>
{
};

INSTANTIATE_TEST_SUITE_P(BothWidths, UiWrappersTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Ansi"; });

namespace
{
// Test-only string resources (TestStrings.rc): texts of 600, 511, 510 and 512 characters that
// count 0123456789 and end with Z, and one text with characters beyond ASCII.
const UINT kText600 = 9000;
const UINT kText511 = 9001;
const UINT kText510 = 9002;
const UINT kText512 = 9003;
const UINT kTextEuro = 9004;

CWideString CountingText(int length)
{
    CWideString text;
    for (int i = 0; i < length - 1; i++)
        text.Append(static_cast<wchar_t>(L'0' + i % 10));
    text.Append(L'Z');
    return text;
}

class CMenuOwner
{
public:
    CMenuOwner() : Menu(CreatePopupMenu()) {}
    ~CMenuOwner() { DestroyMenu(Menu); }
    const HMENU Menu;
};

class CWindowOwner
{
public:
    explicit CWindowOwner(HWND window) : Window(window) {}
    ~CWindowOwner() { DestroyWindow(Window); }
    const HWND Window;
};

struct CReadBackItem
{
    MENUITEMINFOW Info;
    wchar_t Text[256];
};

bool ReadBack(HMENU menu, UINT position, CReadBackItem& item)
{
    item = CReadBackItem();
    item.Info.cbSize = sizeof(item.Info);
    item.Info.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA;
    item.Info.dwTypeData = item.Text;
    item.Info.cch = 256;
    return GetMenuItemInfoW(menu, position, TRUE, &item.Info) != FALSE;
}
} // namespace

TEST_P(UiWrappersTest, InsertedMenuItemsReadBackAsDescribed)
{
    CWidePathScope width(GetParam());
    CMenuOwner menu;
    CMenuOwner subMenu;
    CMenuItemDesc command;
    command.Text = L"Extract to \"report\\\"";
    command.Mask = MIIM_ID | MIIM_TYPE;
    static_assert((MIIM_ID | MIIM_TYPE) == 0x12, "command items use mask 0x12");
    command.Id = 7;
    CMenuItemDesc submenu;
    submenu.Text = L"Vantor";
    submenu.Mask = MIIM_ID | MIIM_TYPE | MIIM_SUBMENU;
    static_assert((MIIM_ID | MIIM_TYPE | MIIM_SUBMENU) == 0x16, "submenu items use mask 0x16");
    submenu.Id = 8;
    submenu.SubMenu = subMenu.Menu;
    CMenuItemDesc stated;
    stated.Text = L"Grey";
    stated.Mask = MIIM_ID | MIIM_TYPE | MIIM_STATE | MIIM_DATA;
    stated.Id = 9;
    stated.State = MFS_GRAYED;
    stated.ItemData = 0x12345678;
    CMenuItemDesc separator;
    separator.Mask = MIIM_TYPE;
    separator.Type = MFT_SEPARATOR;
    separator.Text = L"never shown";

    ASSERT_TRUE(InsertMenuItemDesc(menu.Menu, 0, true, command));
    ASSERT_TRUE(InsertMenuItemDesc(menu.Menu, 1, true, submenu));
    ASSERT_TRUE(InsertMenuItemDesc(menu.Menu, 0, true, stated)); // before the first
    ASSERT_TRUE(InsertMenuItemDesc(menu.Menu, 3, true, separator));
    ASSERT_EQ(4, GetMenuItemCount(menu.Menu));

    const struct
    {
        const wchar_t* Text;
        UINT Id;
        UINT Type;
        HMENU SubMenu;
        ULONG_PTR Data;
        bool Grayed;
    } expected[] = {
        {L"Grey", 9, MFT_STRING, nullptr, 0x12345678, true},
        {L"Extract to \"report\\\"", 7, MFT_STRING, nullptr, 0, false},
        {L"Vantor", 8, MFT_STRING, subMenu.Menu, 0, false},
        {L"", 0, MFT_SEPARATOR, nullptr, 0, false},
    };
    for (UINT i = 0; i < 4; i++)
    {
        CReadBackItem item;
        ASSERT_TRUE(ReadBack(menu.Menu, i, item));
        EXPECT_EQ(CWideString(expected[i].Text), CWideString(item.Text)) << i;
        EXPECT_EQ(expected[i].Id, item.Info.wID) << i;
        EXPECT_EQ(expected[i].Type, item.Info.fType & MFT_SEPARATOR) << i;
        EXPECT_EQ(expected[i].SubMenu, item.Info.hSubMenu) << i;
        EXPECT_EQ(expected[i].Data, item.Info.dwItemData) << i;
        EXPECT_EQ(expected[i].Grayed, (item.Info.fState & MFS_GRAYED) != 0) << i;
    }
    // The submenu belongs to the menu now and goes with it.
    RemoveMenu(menu.Menu, 2, MF_BYPOSITION);
}

TEST_P(UiWrappersTest, MenuTextsPassThroughTheAnsiCodePageWithoutWideEntryPoints)
{
    CWidePathScope width(GetParam());
    const bool wide = GetParam();
    const struct
    {
        const wchar_t* Text;
        const wchar_t* Shown;
    } cases[] = {
        {L"Add to \"caf\x00E9.zip\"", L"Add to \"caf\x00E9.zip\""},
        {L"\x20AC 5", L"\x20AC 5"},
        {L"Add to \"\x4E2D.zip\"", wide ? L"Add to \"\x4E2D.zip\"" : L"Add to \"_.zip\""},
    };
    CMenuOwner menu;
    for (UINT i = 0; i < 3; i++)
    {
        CMenuItemDesc item;
        item.Text = cases[i].Text;
        item.Mask = 0x12;
        item.Id = i + 1;
        ASSERT_TRUE(InsertMenuItemDesc(menu.Menu, i, true, item));
        CReadBackItem readBack;
        ASSERT_TRUE(ReadBack(menu.Menu, i, readBack));
        EXPECT_EQ(CWideString(cases[i].Shown), CWideString(readBack.Text));
    }
}

class MenuHolderTest : public CModuleTest
{
};

TEST_F(MenuHolderTest, DestroysOnlyWhatItHoldsAndOnlyWhenArmed)
{
    CMenuHandle none;
    EXPECT_FALSE(none.Destroy());

    CMenuHandle kept;
    ASSERT_TRUE(kept.CreatePopup());
    const HMENU keptMenu = kept.Get();
    CMenuHandle destroyed;
    ASSERT_TRUE(destroyed.CreatePopup());
    const HMENU destroyedMenu = destroyed.Get();
    {
        CMenuDestroyer disarmed(&kept);
        CMenuDestroyer armed(&destroyed);
        disarmed.Disarm();
    }
    EXPECT_TRUE(IsMenu(keptMenu));
    EXPECT_FALSE(IsMenu(destroyedMenu));
    EXPECT_EQ(nullptr, destroyed.Get());
    EXPECT_EQ(keptMenu, kept.Detach());
    EXPECT_EQ(nullptr, kept.Get());
    kept.Attach(keptMenu);
    EXPECT_TRUE(kept.Destroy());
    EXPECT_FALSE(IsMenu(keptMenu));

    // A destroyer passed by an exception still destroys the menu under construction.
    CMenuHandle building;
    ASSERT_TRUE(building.CreatePopup());
    const HMENU buildingMenu = building.Get();
    try
    {
        CMenuDestroyer destroyer(&building);
        throw CNewException();
    }
    catch (const CNewException&)
    {
    }
    EXPECT_FALSE(IsMenu(buildingMenu));
}

TEST_P(UiWrappersTest, ControlTextsAreSetAndRead)
{
    CWidePathScope width(GetParam());
    CWindowOwner edit(CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr));
    ASSERT_NE(nullptr, edit.Window);
    CWideString text(L"stale");
    SetLastError(ERROR_ACCESS_DENIED); // a stale code must not make the empty text a failure
    EXPECT_TRUE(GetControlText(edit.Window, text));
    EXPECT_TRUE(text.IsEmpty());

    const struct
    {
        const wchar_t* Text;
        const wchar_t* ReadWide;
        const wchar_t* ReadAnsi;
    } cases[] = {
        {L"C:\\Temp\\Work", L"C:\\Temp\\Work", L"C:\\Temp\\Work"},
        {L"caf\x00E9 \x20AC", L"caf\x00E9 \x20AC", L"caf\x00E9 \x20AC"},
        {L"\x4E2D\x6587", L"\x4E2D\x6587", L"__"},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(SetControlText(edit.Window, CWideString(c.Text)));
        ASSERT_TRUE(GetControlText(edit.Window, text));
        EXPECT_EQ(CWideString(GetParam() ? c.ReadWide : c.ReadAnsi), text);
    }
}

TEST_P(UiWrappersTest, ReadingTheTextOfNoWindowFails)
{
    CWidePathScope width(GetParam());
    CWideString text(L"stale");
    EXPECT_FALSE(GetControlText(reinterpret_cast<HWND>(0x7FFFFFF0), text));
    EXPECT_TRUE(text.IsEmpty());
}

TEST_P(UiWrappersTest, StringResourcesOfAnyLengthAreLoadedWhole)
{
    CWidePathScope width(GetParam());
    const struct
    {
        UINT Id;
        int Length;
    } cases[] = {{kText600, 600}, {kText511, 511}, {kText510, 510}, {kText512, 512}};
    for (const auto& c : cases)
    {
        // With a guarded heap, any write or read past what was made writable faults.
        AllocHooks::SetGuarded(true);
        const CWideString text = LoadModuleString(c.Id);
        AllocHooks::SetGuarded(false);
        EXPECT_EQ(CountingText(c.Length), text) << c.Id;
        EXPECT_EQ(c.Length, text.Length()) << c.Id;
    }
    EXPECT_EQ(CWideString(L"\x20ACuro \x00E9t\x00E9"), LoadResourceString(g_ModuleInstance, kTextEuro));
    EXPECT_TRUE(LoadModuleString(8999).IsEmpty());
}
