#include "TestSupport.h"

#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "base/Module.h"
#include "base/ShellObjects.h"
#include "base/TextConvert.h"
#include "base/UiWrappers.h"

#include <commctrl.h>

// Each test runs once through the wide entry points and once through the ANSI ones, which spell
// names in the code page of the file APIs: the OEM one too, where names are concerned.
class SystemTest : public CModuleTest, public ::testing::WithParamInterface<bool>
{
protected:
    CWidePathScope Width{GetParam()};
};
INSTANTIATE_TEST_SUITE_P(BothWidths, SystemTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Ansi"; });

// {name, full path ("" refused: 260 characters do not fit), index of the last component, which ends
// the folder}; a relative name ending with a backslash is a folder. In the ANSI path both code pages.
TEST_P(SystemTest, AFullPathsFolderEndsBeforeItsLastComponent)
{
    wchar_t current[MAX_PATH + 1] = {};
    const std::wstring here(current, GetCurrentDirectoryW(MAX_PATH, current)),
        name259 = L"C:\\" + std::wstring(256, L'a');
    const std::tuple<std::wstring, std::wstring, size_t> cases[] = {
        {L"C:\\Data\\", L"C:\\Data\\", 8},
        {L"C:\\", L"C:\\", 3},
        {L"C:\\Data\\..\\b.txt", L"C:\\b.txt", 3},
        {L"C:/Data/./x\\y.zip", L"C:\\Data\\x\\y.zip", 10},
        {L"C:\\Caf\x00E9\\R\x00E9sum\x00E9", L"C:\\Caf\x00E9\\R\x00E9sum\x00E9", 8},
        {L"Data\\", here + L"\\Data\\", here.size() + 6},
        {name259, name259, 3},
        {name259 + L"a", L"", 0}};
    for (bool oem : {true, false}) // ANSI left in force
    {
        (oem ? SetFileApisToOEM : SetFileApisToANSI)();
        EXPECT_EQ(static_cast<UINT>(oem ? CP_OEMCP : CP_ACP), FileApiCodePage()); // asked anew each time
        for (const auto& [name, expected, expectedIndex] : cases)
        {
            CWideString fullPath(L"stale"), folder(L"stale");
            int index = 0;
            EXPECT_EQ(!expected.empty(), ResolveFullPath(name.c_str(), fullPath, index))
                << oem << CWideString(name.c_str());
            EXPECT_EQ(!expected.empty(), ResolveFullPathFolder(name.c_str(), folder));
            EXPECT_EQ(std::make_tuple(CWideString(expected.c_str()), static_cast<int>(expectedIndex),
                                      CWideString(expected.substr(0, expectedIndex).c_str())),
                      std::make_tuple(fullPath, index, folder));
        }
    }
}

TEST_P(SystemTest, AFolderPathGetsOneBackslashBeforeANameIsJoined)
{
    for (const auto& [path, expected] : {std::make_pair(L"C:\\Data", L"C:\\Data\\"),
                                         {L"C:\\Data\\", L"C:\\Data\\"},
                                         {L"a\\b", L"a\\b\\"},
                                         {L"\\", L"\\"},
                                         {L"", L""}})
    {
        CWideString folder(path);
        EnsureTrailingBackslash(folder);
        EXPECT_EQ(CWideString(expected), folder) << CWideString(path);
    }
}

// A name the code page cannot spell is not found, not taken for the file its "_" names.
TEST_P(SystemTest, LookUpGivesTheEntryAsOnDiskOrNotFound)
{
    CScratchFolder scratch;
    scratch.AddFolder(L"Sub Folder");
    scratch.AddFile(L"r\x00E9sum\x00E9.zip", "abc");
    scratch.AddFile(L"a_b.txt", "x");
    // {name looked up, entry name ("": not found), size, folder}
    const std::tuple<const wchar_t*, const wchar_t*, unsigned long long, bool> entries[] = {
        {L"Sub Folder", L"Sub Folder", 0, true},
        {L"*.zip", L"r\x00E9sum\x00E9.zip", 3, false},
        {L"r\x00E9sum\x00E9.zip", L"r\x00E9sum\x00E9.zip", 3, false},
        {L"missing.txt", L"", 0, false},
        {L"a\x2603\x0062.txt", L"", 0, false}};
    for (bool oem : {true, false}) // ANSI left in force
    {
        (oem ? SetFileApisToOEM : SetFileApisToANSI)();
        for (const auto& [name, entryName, size, folder] : entries)
        {
            CDirEntry entry;
            SetLastError(0);
            EXPECT_EQ(*entryName != 0, LookUpEntry(scratch.Path() + name, entry)) << oem << CWideString(name);
            EXPECT_EQ(*entryName != 0 ? 0u : static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
            EXPECT_EQ(std::make_tuple(CWideString(entryName), size, folder, *entryName != 0),
                      std::make_tuple(entry.EntryName, entry.ByteSize, entry.IsFolder(),
                                      entry.WriteTime.dwLowDateTime != 0 || entry.WriteTime.dwHighDateTime != 0));
        }
    }
}

// Opening another name closes the handle held before (else AddFile could not rewrite the file). A
// size of all ones in the low word (sparse) is no failure, whatever error code was left before.
TEST_P(SystemTest, FilesReportTheirSizeAndAreReadUpToTheSizeAskedFor)
{
    CScratchFolder scratch;
    const DWORD big = 5 * 1024 * 1024;
    std::vector<char> bytes(big);
    for (DWORD i = 0; i < big; i++)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    CReadOnlyFile file;
    // {file size, bytes asked for, bytes read}; the buffer ends right at a no-access page, so a
    // transfer past the size asked for faults at once.
    for (const auto& [size, asked, read] :
         {std::make_tuple(10u, 64u, 10u), {0u, 4u, 0u}, {10u, 4u, 4u}, {big, big, big}})
    {
        ASSERT_TRUE(file.Open(scratch.AddFile(L"file.bin", bytes.data(), size)));
        unsigned long long querySize = 99;
        EXPECT_TRUE(file.QuerySize(querySize) && querySize == size) << querySize;
        AllocHooks::SetGuarded(true);
        char* buffer = static_cast<char*>(AllocateOrThrow(asked));
        AllocHooks::SetGuarded(false);
        DWORD total = 99, chunk = 0;
        EXPECT_TRUE(file.ReadAll(buffer, asked, total) && total == read && memcmp(buffer, bytes.data(), read) == 0)
            << size << ", " << asked << ": " << total;
        EXPECT_TRUE(file.OpenForReading(scratch.Path() + L"file.bin", true) && file.ReadChunk(buffer, asked, chunk) &&
                    chunk == std::min(read, 0x400000u))
            << chunk;
        FreeBlock(buffer);
        ASSERT_TRUE(file.Open(scratch.AddFile(L"other.bin")));
    }
    HANDLE handle = CreateFileW(scratch.Path() + L"file.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER end{{0xFFFFFFFFu, 0}};
    const bool sized = SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
    CloseHandle(handle);
    if (!sized)
        GTEST_SKIP() << "no room for a 4 GiB file here";
    ASSERT_TRUE(file.Open(scratch.Path() + L"file.bin"));
    SetLastError(ERROR_ACCESS_DENIED);
    unsigned long long size = 0;
    EXPECT_TRUE(file.QuerySize(size) && size == 0xFFFFFFFFull) << size;
}

TEST_P(SystemTest, ModulePathsOfUpTo260CharactersAreReadWhole)
{
    CScratchFolder scratch;
    const CWideString folder = scratch.AddFolder(L"Caf\x00E9");
    // Copies of this program, loaded as modules (their code never runs) under 260 and 261 characters.
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    for (size_t length : {260, 261})
    {
        const std::wstring name = folder.Ptr() + std::wstring(length - 4 - folder.Length(), L'm') + L".dll";
        ASSERT_TRUE(CopyFileW(self, (L"\\\\?\\" + name).c_str(), FALSE)) << GetLastError();
        HMODULE module = LoadLibraryExW((L"\\\\?\\" + name).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        CWideString path(L"stale");
        EXPECT_EQ(length == 260, GetModuleFilePath(module, path)) << length;
        EXPECT_EQ(CWideString(length == 260 ? name.c_str() : L""), path) << length;
        FreeLibrary(module);
        DeleteFileW((L"\\\\?\\" + name).c_str());
    }
}

// The browser starts at the initial folder (OK is clicked once the tree has selected it) and
// returns the choice. Cancel first: Wine's first browse in a process may stop its tree short.
TEST_P(SystemTest, TheFolderBrowserStartsAtTheInitialFolderAndGivesTheChoice)
{
    CScratchFolder scratch;
    const CWideString initial = scratch.AddFolder(L"Start Here");
    for (WPARAM button : {IDCANCEL, IDOK})
    {
        CWideString chosen(L"stale");
        CDialogWatcher watcher(nullptr,
                               [button](HWND dialog)
                               {
                                   const HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
                                   wchar_t text[16] = {};
                                   TVITEMW item = {TVIF_TEXT, nullptr, 0, 0, text, 16, 0, 0, 0, 0};
                                   for (int i = 0; button == IDOK && i < 200 && lstrcmpW(text, L"Start Here") != 0;
                                        i++, Sleep(50))
                                   {
                                       item.hItem = TreeView_GetSelection(tree);
                                       SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
                                   }
                                   PostMessageW(dialog, WM_COMMAND, button, 0);
                               });
        EXPECT_EQ(button == IDOK, BrowseForFolder(nullptr, CWideString(L"Choose"), initial, chosen));
        const CWideString expected = button == IDOK ? initial : CWideString(L"stale");
        EXPECT_EQ(std::make_pair(expected, expected.Length()), std::make_pair(chosen, chosen.Length()));
    }
}

// On fresh threads, the second one made multithreaded by its host: the scope's result, then
// CoInitializeEx's after the scope.
TEST_P(SystemTest, TheBrowsersComScopeBalancesOnlyWhatItInitialised)
{
    std::vector<HRESULT> results(4, E_FAIL);
    RunOnThreads(2, INFINITE,
                 [&results](int host)
                 {
                     if (host)
                         CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                     results[2 * host] = CComInitScope().Result();
                     results[2 * host + 1] = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                     for (int i = SUCCEEDED(results[2 * host + 1]) + host; i > 0; i--)
                         CoUninitialize();
                 });
    EXPECT_EQ((std::vector<HRESULT>{S_OK, S_OK, RPC_E_CHANGED_MODE, S_FALSE}), results);
}

// A drop list as the shell hands it over: DROPFILES (20 bytes), the wide names each terminated, one more zero.
TEST_P(SystemTest, DropListsAreReadWhole)
{
    const std::vector<std::wstring> names = {L"C:\\Work\\caf\x00E9.txt", L"C:\\" + std::wstring(255, L'a') + L".z"};
    std::wstring list(10, L'\0');
    for (const std::wstring& name : names)
        list.append(name.c_str(), name.size() + 1);
    list += L'\0';
    const DROPFILES header = {20, {}, FALSE, TRUE};
    const HDROP drop = static_cast<HDROP>(GlobalAlloc(GMEM_FIXED, list.size() * 2));
    memcpy(memcpy(drop, list.data(), list.size() * 2), &header, 20);
    {
        CDropHandle holder(false);
        holder.Attach(drop);
        COwningVector<CWideString> read;
        read.Add(CWideString(L"left over"));
        AllocHooks::SetGuarded(true); // any write past what was made writable faults
        holder.FileNames(read);
        AllocHooks::SetGuarded(false);
        EXPECT_EQ(names, (std::vector<std::wstring>{read[0].Ptr(), read[read.Count() - 1].Ptr()}));
    }
    EXPECT_NE(0u, GlobalSize(drop)); // the shell's data object owns it
    GlobalFree(drop);
}

TEST_P(SystemTest, MenuItemsAreInsertedAsDescribed)
{
    const HMENU menu = CreatePopupMenu(), subMenu = CreatePopupMenu();
    // {inserted at, item, where it ends up, text read back through the ANSI code page}
    const UINT typed = MIIM_ID | MIIM_TYPE;
    const std::tuple<UINT, CMenuItemDesc, UINT, const wchar_t*> items[] = {
        {0, {L"Vantor", typed | MIIM_SUBMENU, 0, 0, 8, subMenu}, 1, L"Vantor"},
        {0, {L"\x20AC 5", typed | MIIM_STATE | MIIM_DATA, 0, MFS_GRAYED, 9, {}, {}, {}, 7}, 0, L"\x20AC 5"},
        {2, {L"never shown", MIIM_TYPE, MFT_SEPARATOR}, 2, L""},
        {3, {L"Add to \"\x4E2D.zip\"", typed, 0, 0, 10}, 3, L"Add to \"_.zip\""}};
    for (const auto& [position, item, finalPosition, ansiText] : items)
        ASSERT_TRUE(InsertMenuItemDesc(menu, position, true, item));
    for (const auto& [position, item, finalPosition, ansiText] : items)
    {
        wchar_t read[256] = {};
        MENUITEMINFOW info = {
            sizeof(info), typed | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA, 0, 0, 0, {}, {}, {}, 0, read, 256, {}};
        ASSERT_TRUE(GetMenuItemInfoW(menu, finalPosition, TRUE, &info));
        EXPECT_EQ(GetParam() && item.Type == MFT_STRING ? item.Text : CWideString(ansiText), CWideString(read));
        EXPECT_EQ(std::make_tuple(item.Type ? 0 : item.Id, item.Type, item.SubMenu, item.ItemData, item.State),
                  std::make_tuple(info.wID, info.fType & MFT_SEPARATOR, info.hSubMenu, info.dwItemData,
                                  info.fState & MFS_GRAYED));
    }
    DestroyMenu(menu);
}

// The Folders page reads its path this way. A stale error code must not make an empty text a failure.
TEST_P(SystemTest, ControlTextsAreReadBackWhole)
{
    CWideString text(L"stale");
    EXPECT_TRUE(!GetControlText(reinterpret_cast<HWND>(0x7FFFFFF0), text) && text.IsEmpty()); // no such window
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
    for (const wchar_t* shown : {L"", L"C:\\Temp\\Caf\x00E9", L"x"})
    {
        EXPECT_TRUE(SetControlText(edit, CWideString(shown)));
        SetLastError(ERROR_ACCESS_DENIED);
        EXPECT_TRUE(GetControlText(edit, text));
        EXPECT_EQ(std::make_pair(CWideString(shown), CWideString::UnitCount(shown)),
                  std::make_pair(text, text.Length()));
    }
    DestroyWindow(edit);
}

// Test resources (TestStrings.rc) that count 0123456789 over and over and end with Z.
TEST_P(SystemTest, StringResourcesAreLoadedWholeInBuffersGrownStepByStep)
{
    std::wstring digits;
    for (int i = 0; i < 600; i++)
        digits += static_cast<wchar_t>(L'0' + i % 10);
    for (const auto& [id, length] : {std::make_pair(9000u, 600), {9001u, 511}, {9002u, 510}, {9003u, 512}})
    {
        AllocHooks::SetGuarded(true); // any write or read past what was made writable faults
        EXPECT_EQ(CWideString((digits.substr(0, length - 1) + L"Z").c_str()), LoadModuleString(id)) << length;
        AllocHooks::SetGuarded(false);
    }
    EXPECT_EQ(CWideString(L"\x20ACuro \x00E9t\x00E9"), LoadResourceString(g_ModuleInstance, 9004));
    EXPECT_TRUE(LoadModuleString(8999).IsEmpty());
}
