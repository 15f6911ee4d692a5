// The Explorer stand-in itself: what it makes of its arguments, which classes it asks, how it
// prints a menu, which keys it presses for a picture, how it finds handlers in the registry and
// which names its data object carries. The end-to-end script relies on each of these.
#include "CommandLine.h"
#include "HandlerSet.h"
#include "MenuListing.h"
#include "Output.h"
#include "Selection.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

namespace
{
struct COptionsCase
{
    std::vector<std::wstring> Args;
    bool Valid;
    const wchar_t* ErrorPart; // a part of the error text when invalid
};

TEST(HostOptions, ArgumentsAreAcceptedOrRefusedWithTheReason)
{
    const COptionsCase cases[] = {
        {{L"C:\\a.zip"}, true, L""},
        {{}, false, L"no items selected"},
        {{L"--invoke-verb"}, false, L"--invoke-verb needs a value"},
        {{L"--invoke-verb", L"X", L"--invoke-offset", L"1", L"C:\\a"}, false, L"exclude each other"},
        {{L"--invoke-offset", L"32768", L"C:\\a"}, false, L"from 0 to 32767"},
        {{L"--invoke-offset", L"x1", L"C:\\a"}, false, L"from 0 to 32767"},
        {{L"--flags", L"0x1z", L"C:\\a"}, false, L"--flags wants a number"},
        {{L"--highlight", L"V", L"C:\\a"}, false, L"only go with --picture"},
        {{L"--explorer-items", L"C:\\a"}, false, L"only go with --picture"},
        {{L"--bogus", L"C:\\a"}, false, L"unknown option --bogus"},
        {{L"--help"}, true, L""},
        {{L"--", L"--not-an-option"}, true, L""},
    };
    for (const COptionsCase& test : cases)
    {
        CHostOptions options;
        std::wstring error;
        const bool valid = ParseHostOptions(test.Args, options, error);
        EXPECT_EQ(test.Valid, valid) << Utf8FromWide(error);
        if (!test.Valid)
        {
            EXPECT_NE(std::wstring::npos, error.find(test.ErrorPart)) << Utf8FromWide(error);
        }
    }
}

TEST(HostOptions, ValuesLandInTheirFields)
{
    CHostOptions options;
    std::wstring error;
    ASSERT_TRUE(ParseHostOptions({L"--drag-to", L"C:\\T", L"--flags", L"0x10", L"--invoke-offset", L"3", L"--handler",
                                  L"VANTOR", L"C:\\a", L"C:\\b", L"--", L"--c"},
                                 options, error));
    EXPECT_EQ(L"C:\\T", options.DragTarget);
    EXPECT_EQ(0x10u, options.QueryFlags);
    EXPECT_EQ(3, options.InvokeOffset);
    EXPECT_EQ(L"VANTOR", options.OnlyHandler);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\a", L"C:\\b", L"--c"}), options.Paths);
    EXPECT_TRUE(options.PrintMenu);
}

TEST(HostSelection, ClassesAskedFollowTheKindOfItem)
{
    EXPECT_EQ((std::vector<std::wstring>{L"*"}), ClassNamesFor(CItemKind::File));
    EXPECT_EQ((std::vector<std::wstring>{L"Directory", L"Folder"}), ClassNamesFor(CItemKind::Folder));
    EXPECT_EQ((std::vector<std::wstring>{L"Drive", L"Folder"}), ClassNamesFor(CItemKind::DriveRoot));
    EXPECT_TRUE(ClassNamesFor(CItemKind::Missing).empty());
}

TEST(HostSelection, ParentFolderKeepsTheRootsBackslash)
{
    const struct
    {
        const wchar_t* Path;
        const wchar_t* Parent;
    } cases[] = {
        {L"C:\\Work\\report.zip", L"C:\\Work"},
        {L"C:\\Work\\Docs", L"C:\\Work"},
        {L"C:\\notes.txt", L"C:\\"},
        {L"C:\\", L""},
    };
    for (const auto& test : cases)
        EXPECT_EQ(test.Parent, ParentFolder(test.Path)) << Utf8FromWide(test.Path);
    EXPECT_EQ(L"C:\\", FullPath(L"C:\\"));
    EXPECT_EQ(L"C:\\windows", FullPath(L"C:\\windows\\"));
}

std::vector<CMenuLine> SampleLines()
{
    auto line = [](int depth, UINT id, const wchar_t* text, const wchar_t* verb, const wchar_t* help)
    {
        CMenuLine result;
        result.Depth = depth;
        result.Id = id;
        result.HasId = true;
        result.Text = text;
        result.Verb = verb;
        result.Help = help;
        return result;
    };
    std::vector<CMenuLine> lines;
    lines.push_back(line(0, 0x8001, L"Open", L"-", L"-"));
    CMenuLine separator;
    separator.Separator = true;
    lines.push_back(separator);
    lines.push_back(line(0, 1, L"Vantor", L"Vantor", L"Vantor commands"));
    lines.back().Submenu = true;
    lines.push_back(line(1, 2, L"Open archive", L"VantorOpen", L"Opens the selected archive."));
    lines.push_back(separator);
    lines.back().Depth = 1;
    lines.push_back(line(1, 3, L"Extract to \"report\\\"", L"VantorExtractTo", L"Extracts files to subfolder."));
    lines.push_back(line(0, 0x8008, L"Properties", L"-", L"-"));
    lines.back().Grayed = true;
    return lines;
}

TEST(HostListing, TableAlignsColumnsAndMarksSubmenusSeparatorsAndState)
{
    // The text column is as wide as its widest entry, the indented "Extract to" item (22 units).
    const std::wstring expected = L"Menu:\n"
                                  L"  id     text                    verb             help text\n"
                                  L"  32769  Open                    -                -\n"
                                  L"         -----\n"
                                  L"      1  Vantor >                Vantor           Vantor commands\n"
                                  L"      2    Open archive          VantorOpen       Opens the selected archive.\n"
                                  L"           -----\n"
                                  L"      3    Extract to \"report\\\"  VantorExtractTo  Extracts files to subfolder.\n"
                                  L"  32776  Properties (disabled)   -                -\n";
    EXPECT_EQ(expected, FormatMenuTree(SampleLines()));
    EXPECT_EQ(L"Menu: (no items)\n", FormatMenuTree({}));
}

TEST(HostListing, KeysReachTheSubmenuAndTheHighlightedItem)
{
    const std::vector<CMenuLine> lines = SampleLines();
    // Down onto Open, Down onto Vantor (the separator is skipped), Right opens it on its first item,
    // Down once more past the inner separator onto "Extract to".
    EXPECT_EQ((std::vector<UINT>{VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN}), PlanMenuKeys(lines, L"VantorExtractTo"));
    EXPECT_EQ((std::vector<UINT>{VK_DOWN, VK_DOWN, VK_RIGHT}), PlanMenuKeys(lines, L""));

    // A flat menu: straight to the item.
    std::vector<CMenuLine> flat;
    for (const CMenuLine& line : lines)
    {
        if (line.Depth == 1)
        {
            flat.push_back(line);
            flat.back().Depth = 0;
        }
    }
    EXPECT_EQ((std::vector<UINT>{VK_DOWN, VK_DOWN}), PlanMenuKeys(flat, L"VantorExtractTo"));
    EXPECT_EQ((std::vector<UINT>{VK_DOWN}), PlanMenuKeys(flat, L""));
    EXPECT_TRUE(PlanMenuKeys({}, L"").empty());
}

TEST(HostListing, RealMenuIsReadBackDepthFirstWithoutOwnerTexts)
{
    HMENU menu = CreatePopupMenu();
    HMENU inner = CreatePopupMenu();
    AppendMenuW(inner, MF_STRING, 2, L"Inner\tCtrl+I");
    AppendMenuW(menu, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(inner), L"Outer");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | MF_GRAYED | MF_CHECKED, 7, L"Last");

    CHandlerSet none;
    const std::vector<CMenuLine> lines = ReadMenuTree(menu, none);
    DestroyMenu(menu);

    ASSERT_EQ(4u, lines.size());
    EXPECT_TRUE(lines[0].Submenu);
    EXPECT_EQ(L"Outer", lines[0].Text);
    EXPECT_EQ(1, lines[1].Depth);
    EXPECT_EQ(L"Inner\\tCtrl+I", lines[1].Text);
    EXPECT_EQ(2u, lines[1].Id);
    EXPECT_EQ(L"-", lines[1].Verb);
    EXPECT_TRUE(lines[2].Separator);
    EXPECT_FALSE(lines[2].HasId);
    EXPECT_TRUE(lines[3].Grayed);
    EXPECT_TRUE(lines[3].Checked);
}

// A class of its own under HKCR, removed again at the end.
class HostRegistry : public ::testing::Test
{
protected:
    static constexpr const wchar_t* ClassKey = L"VantorHostTestClass";
    void TearDown() override { SHDeleteKeyW(HKEY_CLASSES_ROOT, ClassKey); }

    static void AddHandler(const wchar_t* kind, const wchar_t* name, const wchar_t* value)
    {
        const std::wstring path = std::wstring(ClassKey) + L"\\shellex\\" + kind + L"\\" + name;
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        if (value != nullptr)
            RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                           static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
};

TEST_F(HostRegistry, HandlersComeInKeyOrderOncePerClassIdFromValueOrName)
{
    AddHandler(L"ContextMenuHandlers", L"B-Second", L"{23170F69-40C1-439B-1000-000100020000}");
    AddHandler(L"ContextMenuHandlers", L"A-First", L"{00000000-1111-2222-3333-444444444444}");
    AddHandler(L"ContextMenuHandlers", L"C-Duplicate", L"{23170f69-40c1-439b-1000-000100020000}");
    AddHandler(L"ContextMenuHandlers", L"{55555555-6666-7777-8888-999999999999}", nullptr);
    AddHandler(L"ContextMenuHandlers", L"D-Broken", L"not a class id");
    AddHandler(L"DragDropHandlers", L"E-Drag", L"{AAAAAAAA-1111-2222-3333-444444444444}");

    const std::vector<CHandlerEntry> found = FindRegisteredHandlers({ClassKey}, L"ContextMenuHandlers");
    ASSERT_EQ(3u, found.size());
    EXPECT_EQ(L"A-First", found[0].Name);
    EXPECT_EQ(L"{00000000-1111-2222-3333-444444444444}", found[0].ClassIdText);
    EXPECT_EQ(L"B-Second", found[1].Name);
    EXPECT_EQ(L"{23170F69-40C1-439B-1000-000100020000}", found[1].ClassIdText);
    EXPECT_EQ(std::wstring(ClassKey) + L"\\shellex\\ContextMenuHandlers", found[1].KeyPath);
    EXPECT_EQ(L"{55555555-6666-7777-8888-999999999999}", found[2].ClassIdText);

    const std::vector<CHandlerEntry> drag = FindRegisteredHandlers({L"NoSuchClass", ClassKey}, L"DragDropHandlers");
    ASSERT_EQ(1u, drag.size());
    EXPECT_EQ(L"E-Drag", drag[0].Name);
}

// A scratch folder with files, deleted at the end.
class HostShellSelection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        _folder = FullPath(std::wstring(temp) + L"VantorHostTest");
        CreateDirectoryW(_folder.c_str(), nullptr);
        CreateDirectoryW((_folder + L"\\Sub").c_str(), nullptr);
        for (const wchar_t* name : {L"b.zip", L"a.txt"})
            CloseHandle(
                CreateFileW((_folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        OleInitialize(nullptr);
    }
    void TearDown() override
    {
        OleUninitialize();
        DeleteFileW((_folder + L"\\b.zip").c_str());
        DeleteFileW((_folder + L"\\a.txt").c_str());
        RemoveDirectoryW((_folder + L"\\Sub").c_str());
        RemoveDirectoryW(_folder.c_str());
    }
    std::wstring _folder;
};

TEST_F(HostShellSelection, DataObjectCarriesTheNamesInSelectionOrder)
{
    const std::vector<std::wstring> paths = {_folder + L"\\b.zip", _folder + L"\\Sub", _folder + L"\\a.txt"};
    EXPECT_EQ(CItemKind::File, ClassifyPath(paths[0]));
    EXPECT_EQ(CItemKind::Folder, ClassifyPath(paths[1]));
    EXPECT_EQ(CItemKind::Missing, ClassifyPath(_folder + L"\\none"));

    CShellSelection selection;
    std::wstring error;
    ASSERT_TRUE(selection.Create(paths, error)) << Utf8FromWide(error);

    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    ASSERT_EQ(S_OK, selection.DataObject()->GetData(&format, &medium));
    HDROP drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    ASSERT_NE(nullptr, drop);
    std::vector<std::wstring> names;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; i++)
    {
        wchar_t name[MAX_PATH] = {};
        DragQueryFileW(drop, i, name, MAX_PATH);
        names.push_back(name);
    }
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    EXPECT_EQ(paths, names);
}

TEST_F(HostShellSelection, ItemsOfDifferentFoldersAreRefused)
{
    CShellSelection selection;
    std::wstring error;
    EXPECT_FALSE(selection.Create({_folder + L"\\b.zip", _folder + L"\\Sub\\x"}, error));
    EXPECT_NE(std::wstring::npos, error.find(L"different folders"));
    EXPECT_FALSE(selection.Create({}, error));
}
} // namespace
