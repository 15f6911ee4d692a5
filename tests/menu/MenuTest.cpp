#include "ShellTestSupport.h"

#include "lang/Language.h"

#include <memory>

namespace
{
const DWORD kAllCommands = 0x3F37;
// 80 units before the extension: longer than a menu shows whole.
const std::wstring kLongBase = std::wstring(40, L'a') + std::wstring(40, L'b');

// "id:text|" for each item of `menu`, each submenu's items after its own.
std::wstring Shown(HMENU menu)
{
    std::wstring shown;
    for (int i = 0; i < GetMenuItemCount(menu); i++)
    {
        wchar_t text[256] = {};
        GetMenuStringW(menu, i, text, 255, MF_BYPOSITION);
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU;
        GetMenuItemInfoW(menu, i, TRUE, &info);
        shown += std::to_wstring(info.wID) + L":" + text + L"|";
        if (info.hSubMenu != nullptr)
            shown += Shown(info.hSubMenu);
    }
    return shown;
}

// The menus alive in this process. Wine takes a user handle's low word alone for any handle that
// shares it, so each value is asked once; a test program holds far fewer than 8 K user objects.
int CountLiveMenus()
{
    int live = 0;
    for (UINT_PTR value = 0x20; value < 0x4000; value += 2)
        live += IsMenu(reinterpret_cast<HMENU>(value)) ? 1 : 0;
    return live;
}

// The count once it is `expected` (re-read for a fifth of a second), or once two reads agree when nothing is
// expected: a thread of the system's in this process may hold a menu for a moment, a kept popup stays.
int LiveMenus(int expected = -1)
{
    int live = CountLiveMenus();
    for (int tries = 0; tries < 10 && live != expected; tries++)
    {
        Sleep(expected < 0 ? 0 : 20);
        const int again = CountLiveMenus();
        if (again == live && expected < 0)
            break;
        live = again;
    }
    return live;
}

class MenuTest : public CSettingsRegistryTest
{
protected:
    void SetUp() override
    {
        LoadLanguageOnce(); // loaded once per process: not a leak of any one test
        CSettingsRegistryTest::SetUp();
        Project = Scratch.Path().Ptr();
        for (const std::wstring& name :
             {std::wstring(L"report.zip"), std::wstring(L"notes.txt"), std::wstring(L"R&D.zip"), kLongBase + L".zip"})
            Scratch.AddFile(name.c_str(), "x");
        Host.reset(new CHostedHandler);
    }
    void TearDown() override
    {
        Host.reset();
        CSettingsRegistryTest::TearDown();
    }
    void SetOptions(DWORD cascaded, DWORD mask)
    {
        SetRaw(HKEY_CURRENT_USER, kSettingsRoot + L"\\Options", L"CascadedMenu", Dword(cascaded));
        SetRaw(HKEY_CURRENT_USER, kSettingsRoot + L"\\Options", L"ContextMenu", Dword(mask));
    }
    HRESULT Select(std::vector<std::wstring> names)
    {
        for (std::wstring& name : names)
            name = Project + name;
        return Host->Select(names);
    }
    struct CMenuCase
    {
        DWORD Cascaded, Mask;
        std::vector<std::wstring> Names;
        UINT FirstId, LastId, Flags, Count;
        std::wstring Shown; // part of the menu
    };
    void ExpectMenus(const std::vector<CMenuCase>& cases);

    CScratchFolder Scratch;
    std::wstring Project;
    std::unique_ptr<CHostedHandler> Host;
};

// One menu built by the same handler for each row: the settings are read anew for every menu.
void MenuTest::ExpectMenus(const std::vector<CMenuCase>& cases)
{
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases.data() << ", ids " << c.FirstId << "-" << c.LastId);
        SetOptions(c.Cascaded, c.Mask);
        ASSERT_EQ(S_OK, Select(c.Names));
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.Count), Host->BuildMenu(c.FirstId, c.LastId, c.Flags));
        EXPECT_EQ(static_cast<int>(c.Count), Host->Object().CommandMap.Count());
        EXPECT_NE(std::wstring::npos, Shown(Host->Menu()).find(c.Shown)) << Shown(Host->Menu());
        EXPECT_EQ(c.Count == 0 ? 0 : c.Cascaded == 0 ? static_cast<int>(c.Count) : 1, GetMenuItemCount(Host->Menu()));
        if (c.Count == 11) // the commands get the names as they are
        {
            const std::wstring stem = c.Names[0].substr(0, c.Names[0].size() - 4);
            EXPECT_EQ(Project + stem, Host->Object().CommandMap[3].Folder.Ptr());
            EXPECT_EQ(stem + L".zip", Host->Object().CommandMap[5].ArchiveName.Ptr());
        }
    }
}

// A query for the default verb only (a double-click) or without verbs gets nothing, unless it also
// asks for verbs or builds Explorer's File menu.
TEST_F(MenuTest, DefaultOnlyQueriesGetNothingUnlessTheyAskForVerbsOrTheFileMenu)
{
    ExpectMenus(
        {{1, kAllCommands, {L"report.zip"}, 100, 200, CMF_DEFAULTONLY, 0, L""},
         {1, kAllCommands, {L"report.zip"}, 100, 200, CMF_NOVERBS, 0, L""},
         {1, kAllCommands, {L"report.zip"}, 100, 200, CMF_EXPLORE | CMF_DEFAULTONLY, 12, L"100:Vantor|101:Open"},
         {1, kAllCommands, {L"report.zip"}, 100, 200, CMF_VERBSONLY, 12, L"100:Vantor|101:Open"},
         {1, kAllCommands, {L"report.zip"}, 100, 200, CMF_CANRENAME, 12, L"100:Vantor|101:Open"}});
}

// A mask of 0 still gives the cascaded menu its (empty) submenu.
TEST_F(MenuTest, TheMaskDecidesWhichCommandsGoIn)
{
    ExpectMenus({{1, 0, {L"report.zip"}, 100, 200, 0, 1, L"100:Vantor|"},
                 {0, 0x20, {L"notes.txt"}, 100, 200, 0, 0, L""},
                 {0, 0x1020, {L"report.zip"}, 100, 200, 0, 2, L"100:Open archive|101:Add to \"report.zip\"|"}});
}

// A name to shorten keeps its head and tail; ampersands are doubled in the menu text only.
TEST_F(MenuTest, MenuTextsDoubleAmpersandsAndShortenLongNames)
{
    const std::wstring cut = std::wstring(32, L'a') + L" ... " + std::wstring(28, L'b');
    ExpectMenus(
        {{0, kAllCommands, {L"R&D.zip"}, 100, 200, 0, 11, L"to \"R&&D\\\"|104:Test archive|105:Add to \"R&&D.zip\"|"},
         {0,
          kAllCommands,
          {kLongBase + L".zip"},
          100,
          200,
          0,
          11,
          L"to \"" + cut + L"bbb\\\"|104:Test archive|105:Add to \"" + cut + L".zip\"|"}});
}

// The one-item block asks for 6 ids beyond the next, the main block for 10. No id outside the window:
// the window check must not wrap around, nor the id after the submenu's.
TEST_F(MenuTest, EachBlockGoesInOnlyWhenItsIdsFitTheWindow)
{
    ExpectMenus({{0, kAllCommands, {L"report.zip"}, 100, 105, 0, 0, L""},
                 {0, kAllCommands, {L"report.zip"}, 100, 106, 0, 1, L"100:Open archive|"},
                 {0, kAllCommands, {L"report.zip"}, 100, 110, 0, 1, L"100:Open archive|"},
                 {0, kAllCommands, {L"report.zip"}, 100, 111, 0, 11, L"100:Open archive|101:Extract files...|"},
                 {1, kAllCommands, {L"report.zip"}, 100, 106, 0, 1, L"100:Vantor|"},
                 {1, kAllCommands, {L"report.zip"}, 100, 107, 0, 2, L"100:Vantor|101:Open archive|"},
                 {0, kAllCommands, {L"report.zip", L"notes.txt"}, 100, 109, 0, 0, L""},
                 {0, kAllCommands, {L"report.zip", L"notes.txt"}, 100, 110, 0, 10, L"100:Extract files...|"},
                 {0, kAllCommands, {L"report.zip"}, 0xFFFFFFFC, 0xFFFFFFFF, 0, 0, L""},
                 {1, kAllCommands, {L"report.zip"}, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, L""},
                 {1, kAllCommands, {L"report.zip"}, 101, 100, 0, 0, L""},
                 {0, kAllCommands, {L"report.zip"}, 101, 100, 0, 0, L""}});
}

// A menu that takes no item refuses every insert, the submenu item's too.
TEST_F(MenuTest, RefusedInsertsKeepIdsAndTheCommandMapInStep)
{
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    for (DWORD cascaded : {0, 1})
    {
        SetOptions(cascaded, kAllCommands);
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11 + cascaded),
                  Host->Object().QueryContextMenu(nullptr, 0, 100, 200, 0));
        EXPECT_EQ(static_cast<int>(11 + cascaded), Host->Object().CommandMap.Count());
        // The last command's offset still names it: no refused insert shifted the ids.
        char verb[64] = {};
        EXPECT_EQ(S_OK, Host->Object().GetCommandString(10 + cascaded, GCS_VERBA, nullptr, verb, 64));
        EXPECT_STREQ("VantorCompressEmail", verb);
    }
}

TEST_F(MenuTest, APopupTheShellsMenuRefusedIsDestroyed)
{
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    SetOptions(1, kAllCommands);
    const int live = LiveMenus();
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), Host->Object().QueryContextMenu(nullptr, 0, 100, 200, 0));
    EXPECT_EQ(live, LiveMenus(live)) << "the popup left to no one";
}

TEST_F(MenuTest, AnEmptyOrVanishedSelectionFailsTheMenuWholeAndFreesThePopup)
{
    for (const std::vector<std::wstring>& selection :
         {std::vector<std::wstring>{}, {L"gone.zip"}, {L"notes.txt", L"gone.zip"}})
    {
        Scratch.AddFile(L"gone.zip");
        ASSERT_EQ(S_OK, Select(selection));
        ASSERT_TRUE(DeleteFileW((Project + L"gone.zip").c_str()));
        const int live = LiveMenus();
        EXPECT_EQ(E_FAIL, Host->BuildMenu(100, 200)) << selection.size() << " names";
        EXPECT_EQ(live, LiveMenus(live));
        EXPECT_EQ(0, GetMenuItemCount(Host->Menu()));
    }
}

TEST_F(MenuTest, ExhaustedMemoryInTheFirstMenuOfAProcessGivesOutOfMemoryAndLeavesNoPopup)
{
    // The first menu of a process loads the language as well; a file whose ids need sorting.
    const CWideString file =
        Scratch.AddFile(L"Test.txt", ";!@Lang@!UTF-8!\n2000101 = \"Vantor-Men\xC3\xBC\"\n1 = \"a \\\"b\\\"\"\n");
    SetRaw(HKEY_CURRENT_USER, kSettingsRoot, L"Lang", Text(file.Ptr()));
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    for (DWORD cascaded : {1, 0})
    {
        SCOPED_TRACE(cascaded ? "cascaded" : "flat");
        SetOptions(cascaded, kAllCommands);
        HRESULT result = S_OK;
        int live = 0;
        const int failures = ForEachAllocationFailure(
            [&] { result = Host->Object().QueryContextMenu(Host->Menu(), 0, 100, 200, 0); },
            [&](bool failed, bool)
            {
                const int expected = live + (!failed && cascaded);
                EXPECT_EQ(expected, LiveMenus(expected)) << "a popup kept, or lost from the shell's menu";
                EXPECT_EQ(failed ? E_OUTOFMEMORY : MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11 + cascaded), result);
                const std::wstring shown = Shown(Host->Menu()); // a failed flat menu may keep some items
                EXPECT_TRUE(!failed || !cascaded || shown.empty()) << shown;
                EXPECT_TRUE(failed || shown.find(cascaded ? L"100:Vantor-Men\u00fc|" : L"100:Open archive|") == 0)
                    << shown;
                // A load that failed is not tried again.
                const int entries = g_LangTable.Entries.Count();
                LoadLanguageOnce();
                EXPECT_EQ(entries, g_LangTable.Entries.Count());
                while (GetMenuItemCount(Host->Menu()) > 0)
                    DeleteMenu(Host->Menu(), 0, MF_BYPOSITION);
                Host->Object().CommandMap.ClearAndRelease();
                g_LangTable.Entries.ClearAndRelease();
            },
            [&]
            {
                g_LangLoaded = false;
                live = LiveMenus();
            });
        EXPECT_GT(failures, 20);
    }
    // No failure left the lock held.
    EXPECT_TRUE(RunOnThreads(1, 10000, [](int) { LoadLanguageOnce(); }));
    g_LangName.ClearText();
}
} // namespace
