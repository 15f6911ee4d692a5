#include "MenuTestSupport.h"
#include "TestSupport.h"

#include "lang/Language.h"
#include "menu/ShellMenuHandler.h"
#include "server/ClassFactory.h"

#include <shlobj.h>

#include <algorithm>

namespace
{
const UINT kFirstId = 100;
const UINT kLastId = 200;
const DWORD kAllCommands = 0x3F37;

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

// Wine gives a new USER handle the slot freed last, one generation on: a popup made inside a call
// takes the slot of the menu destroyed just before it, and a menu made after the call gets that
// slot again only if the call gave the popup back.
struct CPopupSlotProbe
{
    CPopupSlotProbe() : Freed(CreatePopupMenu()) { DestroyMenu(Freed); }
    HMENU NextInSlot(int generations) const
    {
        const ULONG_PTR freed = reinterpret_cast<ULONG_PTR>(Freed);
        return reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(MAKELONG(LOWORD(freed), HIWORD(freed) + generations)));
    }
    bool SlotIsFreeAgain() const
    {
        HMENU next = CreatePopupMenu();
        DestroyMenu(next);
        return LOWORD(reinterpret_cast<ULONG_PTR>(next)) == LOWORD(reinterpret_cast<ULONG_PTR>(Freed));
    }
    HMENU Freed;
};

// One expected item and what its command-map entry carries; in folders "<P>" stands for the
// selection's folder and "<D>" for the drop folder.
struct CExpected
{
    UINT CommandId;
    std::wstring Text;
    std::wstring Folder;
    std::wstring ArchiveName;
    std::wstring ArchiveType;
};

// A name as a menu text shows it: each "&" doubled, or it would underline the next letter.
std::wstring Shown(std::wstring name)
{
    for (size_t at = name.find(L'&'); at != std::wstring::npos; at = name.find(L'&', at + 2))
        name.insert(at, 1, L'&');
    return name;
}

std::vector<CExpected> ExtractItems(const std::wstring& shown, const std::wstring& folderName,
                                    const std::wstring& base = L"<P>")
{
    return {{2, L"Extract files...", base + folderName + L"\\", L"", L""},
            {3, L"Extract Here", base, L"", L""},
            {4, L"Extract to \"" + Shown(shown) + L"\\\"", base + shown, L"", L""},
            {5, L"Test archive", L"", L"", L""}};
}

std::vector<CExpected> CompressItems(const std::wstring& name, const std::wstring& base = L"<P>", bool email = true)
{
    const std::wstring shown = Shown(name);
    std::vector<CExpected> items = {
        {10, L"Add to \"" + shown + L".zip\"", base, name + L".zip", L"zip"},
        {11, L"Compress to \"" + shown + L".zip\" and email", L"", name + L".zip", L"zip"},
        {8, L"Add to \"" + shown + L".VNTX\"", base, name + L".VNTX", L"VNTX"},
        {9, L"Compress to \"" + shown + L".VNTX\" and email", L"", name + L".VNTX", L"VNTX"},
        {6, L"Add to archive...", base, name, L""},
        {7, L"Compress and email...", L"", name, L""}};
    if (!email)
        items.erase(std::remove_if(items.begin(), items.end(), [](const CExpected& e) { return e.Folder.empty(); }),
                    items.end());
    return items;
}

std::vector<CExpected> Join(std::vector<CExpected> head, const std::vector<CExpected>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
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
        Scratch.AddFolder(L"Work");
        Project = std::wstring(Scratch.AddFolder(L"Work\\Project").Ptr()) + L"\\";
        Drop = std::wstring(Scratch.AddFolder(L"Target").Ptr()) + L"\\";
        for (const wchar_t* name :
             {L"report.zip", L"notes.txt", L"song.mp3", L"other.rar", L"Caf\u00e9.zip", L"R&D.zip"})
            Scratch.AddFile((L"Work\\Project\\" + std::wstring(name)).c_str(), "x");
        Scratch.AddFolder(L"Work\\Project\\Docs");

        IClassFactory* factory = nullptr;
        ASSERT_EQ(S_OK,
                  DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&Menu)));
        factory->Release();
        Handler = static_cast<CShellMenuHandler*>(Menu);
        SetMenuOptions(1, kAllCommands);
    }

    void TearDown() override
    {
        if (Menu != nullptr)
            Menu->Release();
        CoUninitialize();
        CModuleTest::TearDown();
    }

    // Hands over names of the project folder as Explorer does; with `drop`, as a right-button
    // drag of them onto the drop folder.
    HRESULT Select(const std::vector<std::wstring>& names, bool drop = false)
    {
        IDataObject* data = ShellDataObject(Project, names);
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

    // Builds between the two items of a shell menu and checks items, ids, texts and command map.
    void ExpectMenu(bool cascaded, bool ansi, const std::vector<CExpected>& expected)
    {
        HMENU shellMenu = CreatePopupMenu();
        AppendMenuW(shellMenu, MF_STRING, 1, L"Open");
        AppendMenuW(shellMenu, MF_STRING, 2, L"Delete");
        const UINT offset = cascaded ? 1 : 0;
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, expected.size() + offset),
                  Menu->QueryContextMenu(shellMenu, 1, kFirstId, kLastId, CMF_NORMAL));
        const std::vector<CShownItem> shown = ReadMenu(shellMenu, ansi);
        DestroyMenu(shellMenu);
        ASSERT_EQ(expected.size() + offset + 2, shown.size());
        EXPECT_EQ(L"Open", shown.front().Text);
        EXPECT_EQ(L"Delete", shown.back().Text);
        ASSERT_EQ(static_cast<int>(expected.size() + offset), Handler->CommandMap.Count());
        if (cascaded)
        {
            EXPECT_EQ(kFirstId, shown[1].Id);
            EXPECT_EQ(L"Vantor", shown[1].Text);
            EXPECT_EQ(0u, Handler->CommandMap[0].CommandId);
            EXPECT_EQ(CWideString(L"Vantor"), Handler->CommandMap[0].Verb);
            wchar_t help[64] = {};
            EXPECT_EQ(S_OK, Menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(help), 64));
            EXPECT_STREQ(L"Vantor commands", help);
        }
        for (size_t k = 0; k < expected.size(); k++)
        {
            const CExpected& e = expected[k];
            const CShownItem& item = shown[1 + offset + k];
            const CCommandMapEntry& entry = Handler->CommandMap[static_cast<int>(offset + k)];
            SCOPED_TRACE(testing::Message() << "item " << k << ", command " << e.CommandId);
            std::wstring folder = e.Folder;
            if (folder.compare(0, 3, L"<P>") == 0 || folder.compare(0, 3, L"<D>") == 0)
                folder.replace(0, 3, folder[1] == L'P' ? Project : Drop);
            EXPECT_EQ(kFirstId + offset + k, item.Id);
            EXPECT_EQ(e.Text, item.Text);
            EXPECT_EQ(e.CommandId, entry.CommandId);
            EXPECT_EQ(folder, entry.Folder.Ptr());
            EXPECT_EQ(e.ArchiveName, entry.ArchiveName.Ptr());
            EXPECT_EQ(e.ArchiveType, entry.ArchiveType.Ptr());
        }
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
         Join(Join({open}, ExtractItems(L"report", L"report")), CompressItems(L"report"))},
        {"one other file", {L"notes.txt"}, false, CompressItems(L"notes")},
        {"one folder", {L"Docs"}, false, CompressItems(L"Docs")},
        {"several with an archive",
         {L"notes.txt", L"report.zip"},
         false,
         Join(ExtractItems(L"*", L"notes"), CompressItems(L"Project"))},
        {"several without an archive", {L"notes.txt", L"Docs"}, false, CompressItems(L"Project")},
        {"a folder and a rar",
         {L"Docs", L"other.rar"},
         false,
         Join(ExtractItems(L"*", L"Docs~"), CompressItems(L"Project"))},
        {"right-button drag",
         {L"report.zip"},
         true,
         Join(Join({open}, ExtractItems(L"report", L"report", L"<D>")), CompressItems(L"report", L"<D>", false))},
        {"a name of the ANSI code page",
         {L"Caf\u00e9.zip"},
         false,
         Join(Join({open}, ExtractItems(L"Caf\u00e9", L"Caf\u00e9")), CompressItems(L"Caf\u00e9"))},
        {"a name with an ampersand",
         {L"R&D.zip"},
         false,
         Join(Join({open}, ExtractItems(L"R&D", L"R&D")), CompressItems(L"R&D"))},
    };
    for (const auto& row : rows)
        for (bool ansi : {false, true})
            for (bool cascaded : {false, true})
            {
                SCOPED_TRACE(testing::Message()
                             << row.Name << (cascaded ? ", cascaded" : ", flat") << (ansi ? ", Windows 98" : ""));
                CWidePathScope platform(!ansi);
                SetMenuOptions(cascaded, kAllCommands);
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
        {CMF_NORMAL, 12},    {CMF_DEFAULTONLY, 0}, {CMF_NOVERBS, 0}, {CMF_EXPLORE | CMF_DEFAULTONLY, 12},
        {CMF_VERBSONLY, 12}, {CMF_CANRENAME, 12},
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

TEST_F(MenuTest, MaskIdWindowAndStoredSettingsDecideWhichItemsFit)
{
    const struct
    {
        bool Stored;
        DWORD Cascaded;
        DWORD Mask;
        const wchar_t* Name;
        UINT LastId;
        UINT Count;                      // ids used: the submenu's and its items', or the items'
        std::vector<std::wstring> Texts; // the first items, the submenu item first
    } cases[] = {
        {true, 0, 0x20, L"song.mp3", kLastId, 0, {}},
        {true, 1, 0, L"report.zip", kLastId, 1, {L"Vantor"}},
        {true, 0, kAllCommands, L"report.zip", kFirstId + 8, 1, {L"Open archive"}},
        {true, 1, kAllCommands, L"report.zip", kFirstId + 8, 2, {L"Vantor", L"Open archive"}},
        {true, 0, kAllCommands, L"report.zip", kFirstId + 5, 0, {}},
        {true, 0, 0x1020, L"report.zip", kLastId, 2, {L"Open archive", L"Add to \"report.zip\""}},
        {true, 1, kAllCommands, L"song.mp3", kLastId, 7, {L"Vantor", L"Add to \"song.zip\""}},
        {false, 0, 0, L"report.zip", kLastId, 12, {L"Vantor", L"Open archive"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "mask " << c.Mask << ", last id " << c.LastId);
        // The same handler each time: the settings are read anew for every menu.
        if (c.Stored)
            SetMenuOptions(c.Cascaded, c.Mask);
        else
            DeleteRegistryTree(HKEY_CURRENT_USER, L"Software\\VANTOR\\Options");
        ASSERT_EQ(S_OK, Select({c.Name}));
        HMENU menu = CreatePopupMenu();
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.Count), Menu->QueryContextMenu(menu, 0, kFirstId, c.LastId, 0));
        const std::vector<CShownItem> items = ReadMenu(menu, false);
        DestroyMenu(menu);
        EXPECT_EQ(static_cast<int>(c.Count), Handler->CommandMap.Count());
        ASSERT_EQ(c.Count, items.size());
        for (size_t k = 0; k < c.Texts.size(); k++)
        {
            EXPECT_EQ(c.Texts[k], items[k].Text);
            EXPECT_EQ(kFirstId + k, items[k].Id);
        }
    }
}

TEST_F(MenuTest, NoIdOutsideTheShellsWindowIsTaken)
{
    const struct
    {
        DWORD Cascaded;
        UINT FirstId;
        UINT LastId;
    } cases[] = {
        {0, 0xFFFFFFFC, 0xFFFFFFFF}, // the window check itself must not wrap around
        {1, 0xFFFFFFFF, 0xFFFFFFFF}, // the id after the submenu's would be 0
        {1, kFirstId + 1, kFirstId}, // the shell has no id left
        {0, kFirstId + 1, kFirstId},
    };
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    for (const auto& c : cases)
    {
        SetMenuOptions(c.Cascaded, kAllCommands);
        HMENU menu = CreatePopupMenu();
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), Menu->QueryContextMenu(menu, 0, c.FirstId, c.LastId, 0))
            << "cascaded " << c.Cascaded << ", ids " << c.FirstId << " to " << c.LastId;
        EXPECT_EQ(0, GetMenuItemCount(menu)) << "cascaded " << c.Cascaded << ", ids " << c.FirstId;
        DestroyMenu(menu);
    }
}

TEST_F(MenuTest, FailuresDestroyThePopup)
{
    HMENU menu = CreatePopupMenu();
    IHostMenuInit* host = nullptr;
    ASSERT_EQ(S_OK, Menu->QueryInterface(IID_IHostMenuInit, reinterpret_cast<void**>(&host)));
    EXPECT_EQ(S_OK, host->InitContextMenu(0, nullptr, 0));
    host->Release();
    EXPECT_EQ(E_FAIL, Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, 0)) << "empty selection";

    // The probe itself: on success the popup in the shell's menu is the one predicted.
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    {
        CPopupSlotProbe probe;
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, 0));
        ASSERT_EQ(probe.NextInSlot(1), ReadMenu(menu, false).at(0).SubMenu);
        DeleteMenu(menu, 0, MF_BYPOSITION);
    }
    // A shell menu that refuses the submenu item would leave the popup to no one.
    {
        CPopupSlotProbe probe;
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), Menu->QueryContextMenu(nullptr, 0, kFirstId, kLastId, 0));
        EXPECT_TRUE(probe.SlotIsFreeAgain());
    }
    for (const std::vector<std::wstring>& selection :
         {std::vector<std::wstring>{L"gone.zip"}, std::vector<std::wstring>{L"notes.txt", L"gone.zip"}})
    {
        Scratch.AddFile(L"Work\\Project\\gone.zip");
        ASSERT_EQ(S_OK, Select(selection));
        ASSERT_TRUE(DeleteFileW((Project + L"gone.zip").c_str()));
        CPopupSlotProbe probe;
        EXPECT_EQ(E_FAIL, Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, 0));
        EXPECT_FALSE(IsMenu(probe.NextInSlot(1)));
        EXPECT_TRUE(probe.SlotIsFreeAgain());
        EXPECT_EQ(0, GetMenuItemCount(menu));
    }
    DestroyMenu(menu);
}

TEST_F(MenuTest, ExhaustedMemoryGivesOutOfMemoryAndLeavesNoPopup)
{
    ASSERT_EQ(S_OK, Select({L"report.zip"}));
    for (bool ansi : {false, true})
        for (DWORD cascaded : {1, 0})
        {
            CWidePathScope platform(!ansi);
            SetMenuOptions(cascaded, kAllCommands);
            long n = 1;
            for (;; n++)
            {
                HMENU menu = CreatePopupMenu();
                CPopupSlotProbe probe;
                AllocHooks::FailNth(n);
                const HRESULT result = Menu->QueryContextMenu(menu, 0, kFirstId, kLastId, 0);
                const bool failurePending = AllocHooks::FailurePending();
                AllocHooks::FailNth(0);
                // The popup may not have been made yet; either way its slot must be free again.
                if (cascaded && result == E_OUTOFMEMORY)
                {
                    EXPECT_EQ(0, GetMenuItemCount(menu)) << "n = " << n;
                    EXPECT_TRUE(probe.SlotIsFreeAgain()) << "popup kept, n = " << n;
                }
                DestroyMenu(menu);
                if (result != E_OUTOFMEMORY)
                {
                    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11 + cascaded), result) << "n = " << n;
                    EXPECT_TRUE(failurePending) << "a failed allocation went unreported, n = " << n;
                    break;
                }
            }
            EXPECT_GT(n, 20) << "too few allocations to have exercised the construction";
        }
}
