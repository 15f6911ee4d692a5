#include "BaseTest.h"

#include "base/UiWrappers.h"
#include "server/Module.h"

class UiWrappersTest : public CBothWidthsTest
{
};
INSTANTIATE_BOTH_WIDTHS(UiWrappersTest);

using MenuHolderTest = CModuleTest;

TEST_P(UiWrappersTest, InsertedMenuItemsReadBackAsDescribed)
{
    static_assert((MIIM_ID | MIIM_TYPE) == 0x12 && (MIIM_ID | MIIM_TYPE | MIIM_SUBMENU) == 0x16, "menu masks");
    const HMENU menu = CreatePopupMenu(), subMenu = CreatePopupMenu();
    // {inserted at, item, where it ends up, text read back through the ANSI code page}
    const std::tuple<UINT, CMenuItemDesc, UINT, const wchar_t*> items[] = {
        {0, {L"Extract to \"caf\x00E9\\\"", 0x12, 0, 0, 7}, 1, L"Extract to \"caf\x00E9\\\""},
        {1, {L"Vantor", 0x16, 0, 0, 8, subMenu}, 2, L"Vantor"},
        {0,
         {L"\x20AC 5", 0x12 | MIIM_STATE | MIIM_DATA, 0, MFS_GRAYED, 9, nullptr, nullptr, nullptr, 0x1234},
         0,
         L"\x20AC 5"},
        {3, {L"never shown", MIIM_TYPE, MFT_SEPARATOR}, 3, L""},
        {4, {L"Add to \"\x4E2D.zip\"", 0x12, 0, 0, 10}, 4, L"Add to \"_.zip\""},
    };
    for (const auto& [position, item, finalPosition, ansiText] : items)
        ASSERT_TRUE(InsertMenuItemDesc(menu, position, true, item));
    ASSERT_EQ(5, GetMenuItemCount(menu));
    for (const auto& [position, item, finalPosition, ansiText] : items)
    {
        wchar_t text[256] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA;
        info.dwTypeData = text;
        info.cch = 256;
        ASSERT_TRUE(GetMenuItemInfoW(menu, finalPosition, TRUE, &info));
        EXPECT_EQ(GetParam() && item.Type == MFT_STRING ? item.Text : CWideString(ansiText), CWideString(text));
        EXPECT_EQ(item.Type == MFT_STRING ? item.Id : 0, info.wID);
        EXPECT_EQ(item.Type, info.fType & MFT_SEPARATOR);
        EXPECT_EQ(item.SubMenu, info.hSubMenu);
        EXPECT_EQ(item.ItemData, info.dwItemData);
        EXPECT_EQ(item.State, info.fState & MFS_GRAYED);
    }
    DestroyMenu(menu); // the submenu belongs to the menu now and goes with it
}

TEST_F(MenuHolderTest, DestroysOnlyWhatItHoldsAndOnlyWhenArmed)
{
    CMenuHandle none;
    EXPECT_FALSE(none.Destroy());

    CMenuHandle kept, destroyed;
    ASSERT_TRUE(kept.CreatePopup() && destroyed.CreatePopup());
    const HMENU keptMenu = kept.Get(), destroyedMenu = destroyed.Get();
    try
    {
        CMenuDestroyer disarmed(&kept);
        CMenuDestroyer armed(&destroyed);
        disarmed.Disarm();
        throw CNewException(); // a destroyer passed by an exception still destroys its menu
    }
    catch (const CNewException&)
    {
    }
    EXPECT_TRUE(IsMenu(keptMenu));
    EXPECT_FALSE(IsMenu(destroyedMenu));
    EXPECT_EQ(nullptr, destroyed.Get());
    EXPECT_EQ(keptMenu, kept.Detach());
    EXPECT_EQ(nullptr, kept.Get());
    kept.Attach(keptMenu);
    EXPECT_TRUE(kept.Destroy());
    EXPECT_FALSE(IsMenu(keptMenu));
}

TEST_P(UiWrappersTest, ControlTextsAreSetAndRead)
{
    CWideString text(L"stale");
    EXPECT_FALSE(GetControlText(reinterpret_cast<HWND>(0x7FFFFFF0), text)); // no such window
    EXPECT_TRUE(text.IsEmpty());

    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, edit);
    text = L"stale";
    SetLastError(ERROR_ACCESS_DENIED); // a stale code must not make the empty text a failure
    EXPECT_TRUE(GetControlText(edit, text));
    EXPECT_TRUE(text.IsEmpty());
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Temp\\Work", L"C:\\Temp\\Work"}, {L"caf\x00E9 \x20AC", L"caf\x00E9 \x20AC"}, {L"\x4E2D\x6587", L"__"}};
    for (const auto& [written, readAnsi] : cases)
    {
        EXPECT_TRUE(SetControlText(edit, CWideString(written)));
        EXPECT_TRUE(GetControlText(edit, text));
        EXPECT_EQ(CWideString(GetParam() ? written : readAnsi), text);
    }
    DestroyWindow(edit);
}

TEST_P(UiWrappersTest, StringResourcesOfAnyLengthAreLoadedWhole)
{
    // Test resources (TestStrings.rc) that count 0123456789 over and over and end with Z.
    const std::pair<UINT, int> cases[] = {{9000, 600}, {9001, 511}, {9002, 510}, {9003, 512}};
    for (const auto& [id, length] : cases)
    {
        CWideString expected;
        for (int i = 0; i < length - 1; i++)
            expected.Append(static_cast<wchar_t>(L'0' + i % 10));
        expected.Append(L'Z');
        AllocHooks::SetGuarded(true); // any write or read past what was made writable faults
        const CWideString text = LoadModuleString(id);
        AllocHooks::SetGuarded(false);
        EXPECT_EQ(expected, text) << length << " characters";
    }
    EXPECT_EQ(CWideString(L"\x20ACuro \x00E9t\x00E9"), LoadResourceString(g_ModuleInstance, 9004));
    EXPECT_TRUE(LoadModuleString(8999).IsEmpty());
}
