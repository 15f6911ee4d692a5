#include "TestSupport.h"

#include "lang/Language.h"
#include "menu/ShellMenuHandler.h"
#include "server/ClassFactory.h"

#include <shlobj.h>

#include <string>
#include <vector>

namespace
{
const UINT kFirstId = 100;
const UINT kLastId = 200;

void SetMenuOptions(DWORD cascaded, DWORD mask)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VANTOR\\Options", 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &key, nullptr));
    RegSetValueExW(key, L"CascadedMenu", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&cascaded), 4);
    RegSetValueExW(key, L"ContextMenu", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mask), 4);
    RegCloseKey(key);
}

LPITEMIDLIST ParseName(const std::wstring& name)
{
    LPITEMIDLIST list = nullptr;
    SHParseDisplayName(name.c_str(), nullptr, &list, 0, nullptr);
    return list;
}

// What Explorer hands the handler for a right-click on `names` inside `folder`.
IDataObject* ShellDataObject(const std::wstring& folder, const std::vector<std::wstring>& names)
{
    IShellFolder* desktop = nullptr;
    IShellFolder* shellFolder = nullptr;
    LPITEMIDLIST folderList = ParseName(folder);
    SHGetDesktopFolder(&desktop);
    desktop->BindToObject(folderList, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&shellFolder));
    std::vector<LPCITEMIDLIST> children;
    for (const std::wstring& name : names)
    {
        LPITEMIDLIST child = nullptr;
        shellFolder->ParseDisplayName(nullptr, nullptr, const_cast<LPWSTR>(name.c_str()), nullptr, &child, nullptr);
        children.push_back(child);
    }
    IDataObject* data = nullptr;
    shellFolder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(), IID_IDataObject, nullptr,
                               reinterpret_cast<void**>(&data));
    for (LPCITEMIDLIST child : children)
        CoTaskMemFree(const_cast<LPITEMIDLIST>(child));
    shellFolder->Release();
    desktop->Release();
    CoTaskMemFree(folderList);
    return data;
}

struct CShownItem
{
    UINT Id;
    std::wstring Text;
    HMENU SubMenu;
};

// The items as the system holds them, read through the entry points of the platform in force.
std::vector<CShownItem> ReadMenu(HMENU menu, bool ansi)
{
    std::vector<CShownItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); i++)
    {
        if (ansi)
        {
            char text[512] = {};
            MENUITEMINFOA info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = 511;
            GetMenuItemInfoA(menu, i, TRUE, &info);
            wchar_t wide[512] = {};
            MultiByteToWideChar(1252, 0, text, -1, wide, 512);
            items.push_back({info.wID, wide, info.hSubMenu});
        }
        else
        {
            wchar_t text[512] = {};
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = 511;
            GetMenuItemInfoW(menu, i, TRUE, &info);
            items.push_back({info.wID, text, info.hSubMenu});
        }
    }
    return items;
}

// Wine gives a new USER handle the slot freed last, one generation on: a popup made inside a call
// takes the slot of the menu destroyed just before it, and a menu made after the call gets that
// slot again only if the call gave the popup back.
struct CPopupSlotProbe
{
    CPopupSlotProbe() : Freed(CreatePopupMenu()) { DestroyMenu(Freed); }
    HMENU NextInSlot(int generations) const
    {
        return reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(MAKELONG(
            LOWORD(reinterpret_cast<ULONG_PTR>(Freed)), HIWORD(reinterpret_cast<ULONG_PTR>(Freed)) + generations)));
    }
    HMENU Freed;
};

// One expected item: its command, its text, and what its command-map entry carries. In folders
// "<P>" stands for the selection's folder and "<D>" for the drop folder.
struct CExpected
{
    UINT CommandId;
    std::wstring Text;
    std::wstring Folder;
    std::wstring ArchiveName;
    std::wstring ArchiveType;
};

std::vector<CExpected> ExtractItems(const std::wstring& shown, const std::wstring& folderName,
                                    const std::wstring& target, const std::wstring& base = L"<P>")
{
    return {{2, L"Extract files...", base + folderName + L"\\", L"", L""},
            {3, L"Extract Here", base, L"", L""},
            {4, L"Extract to \"" + shown + L"\\\"", base + target, L"", L""},
            {5, L"Test archive", L"", L"", L""}};
}

std::vector<CExpected> CompressItems(const std::wstring& name, const std::wstring& base = L"<P>", bool email = true)
{
    std::vector<CExpected> items = {{10, L"Add to \"" + name + L".zip\"", base, name + L".zip", L"zip"},
                                    {11, L"Compress to \"" + name + L".zip\" and email", L"", name + L".zip", L"zip"},
                                    {8, L"Add to \"" + name + L".VNTX\"", base, name + L".VNTX", L"VNTX"},
                                    {9, L"Compress to \"" + name + L".VNTX\" and email", L"", name + L".VNTX", L"VNTX"},
                                    {6, L"Add to archive...", base, name, L""},
                                    {7, L"Compress and email...", L"", name, L""}};
    if (!email)
        for (UINT id : {11u, 9u, 7u})
            for (auto it = items.begin(); it != items.end(); ++it)
                if (it->CommandId == id)
                {
                    items.erase(it);
                    break;
                }
    return items;
}

std::vector<CExpected> Join(std::vector<CExpected> head, const std::vector<CExpected>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::wstring Expand(std::wstring text, const std::wstring& project, const std::wstring& drop)
{
    for (const auto& marker :
         {std::make_pair(std::wstring(L"<P>"), project), std::make_pair(std::wstring(L"<D>"), drop)})
    {
        const size_t at = text.find(marker.first);
        if (at != std::wstring::npos)
            text.replace(at, 3, marker.second);
    }
    return text;
}
} // namespace

class MenuTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        // The language is loaded once per process and stays: not a leak of any one test.
        LoadLanguageOnce();
        CModuleTest::SetUp();
        CoInitialize(nullptr);
        Project = std::wstring(Scratch.AddFolder(L"Work").Ptr()) + L"\\";
        Project = std::wstring(Scratch.AddFolder(L"Work\\Project").Ptr()) + L"\\";
        Drop = std::wstring(Scratch.AddFolder(L"Target").Ptr()) + L"\\";
        for (const wchar_t* name : {L"report.zip", L"notes.txt", L"song.mp3", L"other.rar", L"Caf\u00e9.zip"})
            Scratch.AddFile((L"Work\\Project\\" + std::wstring(name)).c_str(), "x");
        Scratch.AddFolder(L"Work\\Project\\Docs");

        IClassFactory* factory = nullptr;
        ASSERT_EQ(S_OK,
                  DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&Menu)));
        factory->Release();
        Handler = static_cast<CShellMenuHandler*>(Menu);
        SetMenuOptions(1, 0x3F37);
    }

    void TearDown() override
    {
        if (Menu != nullptr)
            Menu->Release();
        CoUninitialize();
        CModuleTest::TearDown();
    }

    // Hands the handler a selection in the project folder the way Explorer does; with `drop`,
    // as the right-button drag of those items onto the drop folder.
    HRESULT Select(const std::vector<std::wstring>& names, bool drop = false)
    {
        IDataObject* data = ShellDataObject(Project, names);
        EXPECT_NE(nullptr, data);
        LPITEMIDLIST dropList = drop ? ParseName(Drop) : nullptr;
        IShellExtInit* init = nullptr;
        Menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
        const HRESULT result = init->Initialize(dropList, data, nullptr);
        init->Release();
        if (data != nullptr)
            data->Release();
        CoTaskMemFree(dropList);
        return result;
    }

    // Builds into a shell menu that already holds two items, between them, and checks every
    // item, id, text and command-map entry.
    void ExpectMenu(bool cascaded, bool ansi, const std::vector<CExpected>& expected)
    {
        HMENU shellMenu = CreatePopupMenu();
        AppendMenuW(shellMenu, MF_STRING, 1, L"Open");
        AppendMenuW(shellMenu, MF_STRING, 2, L"Delete");
        const UINT offset = cascaded ? 1 : 0;
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, expected.size() + offset),
                  Menu->QueryContextMenu(shellMenu, 1, kFirstId, kLastId, CMF_NORMAL));
        std::vector<CShownItem> items = ReadMenu(shellMenu, ansi);
        ASSERT_EQ(cascaded ? 3u : expected.size() + 2, items.size());
        EXPECT_EQ(L"Open", items.front().Text);
        EXPECT_EQ(L"Delete", items.back().Text);
        if (cascaded)
        {
            EXPECT_EQ(kFirstId, items[1].Id);
            EXPECT_EQ(L"Vantor", items[1].Text);
            ASSERT_NE(nullptr, items[1].SubMenu);
            items = ReadMenu(items[1].SubMenu, ansi);
            EXPECT_EQ(0u, Handler->CommandMap[0].CommandId);
            EXPECT_EQ(CWideString(L"Vantor"), Handler->CommandMap[0].Verb);
            wchar_t help[64] = {};
            EXPECT_EQ(S_OK, Menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(help), 64));
            EXPECT_STREQ(L"Vantor commands", help);
        }
        else
            items = std::vector<CShownItem>(items.begin() + 1, items.end() - 1);
        ASSERT_EQ(expected.size(), items.size());
        ASSERT_EQ(static_cast<int>(expected.size() + offset), Handler->CommandMap.Count());
        for (size_t k = 0; k < expected.size(); k++)
        {
            const CExpected& e = expected[k];
            const CCommandMapEntry& entry = Handler->CommandMap[static_cast<int>(k + offset)];
            SCOPED_TRACE(testing::Message() << "item " << k << ", command " << e.CommandId);
            EXPECT_EQ(kFirstId + offset + k, items[k].Id);
            EXPECT_EQ(e.Text, items[k].Text);
            EXPECT_EQ(e.CommandId, entry.CommandId);
            EXPECT_EQ(Expand(e.Folder, Project, Drop), entry.Folder.Ptr());
            EXPECT_EQ(e.ArchiveName, entry.ArchiveName.Ptr());
            EXPECT_EQ(e.ArchiveType, entry.ArchiveType.Ptr());
        }
        DestroyMenu(shellMenu);
    }

    CRegistrySnapshot Settings{HKEY_CURRENT_USER, L"Software\\VANTOR"};
    CScratchFolder Scratch;
    std::wstring Project;
    std::wstring Drop;
    IContextMenu* Menu = nullptr;
    CShellMenuHandler* Handler = nullptr;
};

TEST_F(MenuTest, EverySelectionGetsItsItemsFlatAndCascadedInBothCharacterWidths)
{
    const CExpected open = {1, L"Open archive", L"", L"", L""};
    const struct
    {
        const char* Name;
        std::vector<std::wstring> Selection;
        bool Drop;
        std::vector<CExpected> Items;
    } rows[] = {
        {"one possible archive",
         {L"report.zip"},
         false,
         Join(Join({open}, ExtractItems(L"report", L"report", L"report")), CompressItems(L"report"))},
        {"one other file", {L"notes.txt"}, false, CompressItems(L"notes")},
        {"one folder", {L"Docs"}, false, CompressItems(L"Docs")},
        {"several with an archive",
         {L"notes.txt", L"report.zip"},
         false,
         Join(ExtractItems(L"*", L"notes", L"*"), CompressItems(L"Project"))},
        {"several without an archive", {L"notes.txt", L"Docs"}, false, CompressItems(L"Project")},
        {"a folder and a rar",
         {L"Docs", L"other.rar"},
         false,
         Join(ExtractItems(L"*", L"Docs~", L"*"), CompressItems(L"Project"))},
        {"right-button drag",
         {L"report.zip"},
         true,
         Join(Join({open}, ExtractItems(L"report", L"report", L"report", L"<D>")),
              CompressItems(L"report", L"<D>", false))},
        {"a name of the ANSI code page",
         {L"Caf\u00e9.zip"},
         false,
         Join(Join({open}, ExtractItems(L"Caf\u00e9", L"Caf\u00e9", L"Caf\u00e9")), CompressItems(L"Caf\u00e9"))},
    };
    for (const auto& row : rows)
        for (bool ansi : {false, true})
            for (bool cascaded : {false, true})
            {
                SCOPED_TRACE(testing::Message()
                             << row.Name << (cascaded ? ", cascaded" : ", flat") << (ansi ? ", Windows 98" : ""));
                CWidePathScope platform(!ansi);
                SetMenuOptions(cascaded, 0x3F37);
                ASSERT_EQ(S_OK, Select(row.Selection, row.Drop));
                ExpectMenu(cascaded, ansi, row.Items);
            }
}

TEST_F(MenuTest, OnlyQueriesForVerbsOrExplorersMenuAreAnswered)
{
    const struct
    {
        UINT Flags;
        UINT Count;
    } cases[] = {
        {CMF_NORMAL, 12},
        {CMF_DEFAULTONLY, 0},
        {CMF_NOVERBS, 0},
        {CMF_EXPLORE | CMF_DEFAULTONLY, 12},
        {CMF_VERBSONLY, 12},
        {CMF_CANRENAME, 12},
        {CMF_NOVERBS | CMF_CANRENAME, 0},
    };
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    for (const auto& c : cases)
    {
        HMENU menu = CreatePopupMenu();
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.Count),
                  Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, c.Flags))
            << "flags " << c.Flags;
        EXPECT_EQ(c.Count == 0 ? 0 : 1, GetMenuItemCount(menu)) << "flags " << c.Flags;
        DestroyMenu(menu);
    }
}

TEST_F(MenuTest, MaskAndIdWindowDecideWhichItemsFit)
{
    const struct
    {
        DWORD Cascaded;
        DWORD Mask;
        const wchar_t* Name;
        UINT LastId;
        UINT Count;
        std::vector<std::wstring> Texts; // of the shell's menu, then of the popup
    } cases[] = {
        {0, 0x20, L"song.mp3", kLastId, 0, {}},
        {1, 0, L"report.zip", kLastId, 1, {L"Vantor"}},
        {0, 0x3F37, L"report.zip", kFirstId + 8, 1, {L"Open archive"}},
        {1, 0x3F37, L"report.zip", kFirstId + 8, 2, {L"Vantor", L"Open archive"}},
        {0, 0x3F37, L"report.zip", kFirstId + 5, 0, {}},
        {0, 0x1020, L"report.zip", kLastId, 2, {L"Open archive", L"Add to \"report.zip\""}},
        {1,
         0x3F37,
         L"song.mp3",
         kLastId,
         7,
         {L"Vantor", L"Add to \"song.zip\"", L"Compress to \"song.zip\" and email", L"Add to \"song.VNTX\"",
          L"Compress to \"song.VNTX\" and email", L"Add to archive...", L"Compress and email..."}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "mask " << c.Mask << ", last id " << c.LastId);
        SetMenuOptions(c.Cascaded, c.Mask);
        ASSERT_EQ(S_OK, Select({c.Name}));
        HMENU menu = CreatePopupMenu();
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.Count), Menu->QueryContextMenu(menu, 0, kFirstId, c.LastId, 0));
        EXPECT_EQ(static_cast<int>(c.Count), Handler->CommandMap.Count());
        std::vector<CShownItem> items = ReadMenu(menu, false);
        if (c.Cascaded)
        {
            ASSERT_EQ(1u, items.size());
            const std::vector<CShownItem> inner = ReadMenu(items[0].SubMenu, false);
            items.insert(items.end(), inner.begin(), inner.end());
        }
        ASSERT_EQ(c.Texts.size(), items.size());
        for (size_t k = 0; k < items.size(); k++)
        {
            EXPECT_EQ(c.Texts[k], items[k].Text);
            EXPECT_EQ(kFirstId + k, items[k].Id);
        }
        DestroyMenu(menu);
    }
}

TEST_F(MenuTest, SettingsChangedBetweenTwoMenusShowInTheSecond)
{
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    HMENU first = CreatePopupMenu();
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), Menu->QueryContextMenu(first, 0, kFirstId, kLastId, 0));
    EXPECT_EQ(L"Vantor", ReadMenu(first, false).at(0).Text);

    SetMenuOptions(0, 0x1000);
    HMENU second = CreatePopupMenu();
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), Menu->QueryContextMenu(second, 0, kFirstId, kLastId, 0));
    const std::vector<CShownItem> items = ReadMenu(second, false);
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(L"Add to \"report.zip\"", items[0].Text);
    ASSERT_EQ(1, Handler->CommandMap.Count());
    EXPECT_EQ(10u, Handler->CommandMap[0].CommandId);
    DestroyMenu(first);
    DestroyMenu(second);
}

TEST_F(MenuTest, NothingStoredMeansCascadedWithAllCommands)
{
    DeleteRegistryTree(HKEY_CURRENT_USER, L"Software\\VANTOR\\Options");
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    HMENU menu = CreatePopupMenu();
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, 0));
    EXPECT_EQ(1, GetMenuItemCount(menu));
    DestroyMenu(menu);
}

TEST_F(MenuTest, AVanishedItemFailsTheMenuAndDestroysThePopup)
{
    // The probe technique itself: on success the popup in the shell's menu is the predicted one.
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    HMENU menu = CreatePopupMenu();
    {
        CPopupSlotProbe probe;
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, 0));
        ASSERT_EQ(probe.NextInSlot(1), ReadMenu(menu, false).at(0).SubMenu);
    }
    DestroyMenu(menu);

    Scratch.AddFile(L"Work\\Project\\gone.zip");
    for (const std::vector<std::wstring>& selection :
         {std::vector<std::wstring>{L"gone.zip"}, std::vector<std::wstring>{L"notes.txt", L"gone.zip"}})
    {
        ASSERT_EQ(S_OK, Select(selection));
        ASSERT_TRUE(DeleteFileW((Project + L"gone.zip").c_str()));
        menu = CreatePopupMenu();
        CPopupSlotProbe probe;
        EXPECT_EQ(E_FAIL, Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, 0));
        EXPECT_FALSE(IsMenu(probe.NextInSlot(1)));
        HMENU after = CreatePopupMenu();
        EXPECT_EQ(probe.NextInSlot(2), after) << "the popup's slot was not given back";
        EXPECT_EQ(0, GetMenuItemCount(menu));
        DestroyMenu(after);
        DestroyMenu(menu);
        Scratch.AddFile(L"Work\\Project\\gone.zip");
    }
}

TEST_F(MenuTest, AnEmptySelectionFails)
{
    IHostMenuInit* host = nullptr;
    ASSERT_EQ(S_OK, Menu->QueryInterface(IID_IHostMenuInit, reinterpret_cast<void**>(&host)));
    EXPECT_EQ(S_OK, host->InitContextMenu(0, nullptr, 0));
    host->Release();
    HMENU menu = CreatePopupMenu();
    EXPECT_EQ(E_FAIL, Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, 0));
    EXPECT_EQ(0, GetMenuItemCount(menu));
    DestroyMenu(menu);
}

TEST_F(MenuTest, ExhaustedMemoryGivesOutOfMemoryAndLeavesNoPopup)
{
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    for (bool ansi : {false, true})
        for (DWORD cascaded : {1, 0})
        {
            CWidePathScope platform(!ansi);
            SetMenuOptions(cascaded, 0x3F37);
            long n = 1;
            for (;; n++)
            {
                HMENU menu = CreatePopupMenu();
                CPopupSlotProbe probe;
                AllocHooks::FailNth(n);
                const HRESULT result = Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, 0);
                const bool failurePending = AllocHooks::FailurePending();
                AllocHooks::FailNth(0);
                if (result != E_OUTOFMEMORY)
                {
                    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11 + cascaded), result) << "n = " << n;
                    EXPECT_TRUE(failurePending) << "a failed allocation went unreported, n = " << n;
                    DestroyMenu(menu);
                    break;
                }
                if (cascaded)
                {
                    EXPECT_EQ(0, GetMenuItemCount(menu)) << "n = " << n;
                    // The popup may not have been made yet; either way its slot must be free again.
                    HMENU after = CreatePopupMenu();
                    EXPECT_EQ(LOWORD(reinterpret_cast<ULONG_PTR>(probe.Freed)),
                              LOWORD(reinterpret_cast<ULONG_PTR>(after)))
                        << "popup kept, n = " << n;
                    DestroyMenu(after);
                }
                DestroyMenu(menu);
            }
            EXPECT_GT(n, 20) << "too few allocations to have exercised the construction";
        }
}
