#include "BaseTest.h"

#include "base/ShellObjects.h"

#include <shlobj.h>

#include <string>
#include <vector>

class ShellObjectsTest : public CBothWidthsTest
{
};
INSTANTIATE_BOTH_WIDTHS(ShellObjectsTest);

using ShellHoldersTest = CModuleTest;

namespace
{
// A drop handle as Explorer hands it over: DROPFILES, then the names, each terminated, and one
// more terminator; wide or ANSI.
static_assert(sizeof(DROPFILES) == 20, "DROPFILES is 20 bytes: the names begin right after it");

HDROP MakeDrop(const std::vector<std::wstring>& names, bool wide)
{
    std::string list;
    char narrow[1024];
    for (const std::wstring& name : names)
        wide ? list.append(reinterpret_cast<const char*>(name.c_str()), (name.size() + 1) * 2)
             : list.append(narrow, WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, narrow, 1024, nullptr, nullptr));
    list.append(wide ? 2 : 1, '\0');
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size());
    DROPFILES* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = wide ? TRUE : FALSE;
    memcpy(header + 1, list.data(), list.size());
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found)
{
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (!IsWindowVisible(window) || lstrcmpW(className, L"#32770") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Clicks a button of the first dialog that the given thread shows, once it has taken its initial
// selection; gives up after ten seconds.
void ClickDialogButton(DWORD threadId, int button)
{
    for (int attempt = 0; attempt < 200; attempt++, Sleep(50))
    {
        HWND dialog = nullptr;
        EnumThreadWindows(threadId, FindVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog == nullptr)
            continue;
        // Answered once the dialog's thread pumps messages again, after its initialisation.
        SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
        Sleep(300); // let the dialog fill its tree
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return;
    }
}

} // namespace

TEST_P(ShellObjectsTest, ADropOfThreeNamesGivesThemInIndexOrder)
{
    std::wstring longName = L"C:\\Folder\\";
    while (longName.size() < 255)
        longName += static_cast<wchar_t>(L'a' + longName.size() % 26);
    const std::vector<std::wstring> names = {L"C:\\Work\\report.zip", L"C:\\Work\\caf\x00E9.txt", longName + L".txt"};
    ASSERT_EQ(259u, names[2].size());
    for (bool wideDrop : {true, false})
    {
        HDROP drop = MakeDrop(names, wideDrop);
        CDropHandle holder(false);
        holder.Attach(drop);
        EXPECT_EQ(3u, holder.FileCount());
        COwningVector<CWideString> read;
        read.Add(CWideString(L"left over"));
        AllocHooks::SetGuarded(true); // any write past what was made writable faults
        holder.FileNames(read);
        AllocHooks::SetGuarded(false);
        ASSERT_EQ(3, read.Count());
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(std::wstring(read[i].Ptr()), names[i]) << i;
        EXPECT_EQ(3, read.Capacity());
        holder.Release();
        EXPECT_FALSE(holder.Attached);
        GlobalFree(drop); // not finished by the holder: the shell's data object owns it
    }
}

TEST_F(ShellHoldersTest, OnlyAHolderMadeToFinishCallsDragFinish)
{
    HDROP first = MakeDrop({L"C:\\a.txt"}, true), second = MakeDrop({L"C:\\b.txt"}, true),
          third = MakeDrop({L"C:\\c.txt"}, true);
    {
        CDropHandle finishing(true);
        finishing.Attach(first);
        finishing.Attach(second); // finishes the first
        EXPECT_EQ(0u, GlobalSize(first));
        EXPECT_NE(0u, GlobalSize(second));
        CDropHandle keeping(false);
        keeping.Attach(third);
    }
    EXPECT_EQ(0u, GlobalSize(second));
    EXPECT_NE(0u, GlobalSize(third)); // still the data object's to free
    GlobalFree(third);
}

TEST_P(ShellObjectsTest, PathFromIdListGivesTheFileSystemPath)
{
    CScratchFolder scratch;
    const CWideString folder = scratch.AddFolder(L"Caf\x00E9 Folder");
    LPITEMIDLIST parsed = nullptr;
    ASSERT_EQ(S_OK, SHParseDisplayName(folder, nullptr, &parsed, 0, nullptr));
    CItemIdList list;
    list.Attach(parsed);
    CWideString path(L"stale");
    EXPECT_TRUE(PathFromIdList(list.Get(), path));
    EXPECT_EQ(folder, path);

    // The computer itself has no file-system path.
    LPITEMIDLIST computer = nullptr;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer));
    list.Attach(computer);
    EXPECT_FALSE(PathFromIdList(list.Get(), path));
    EXPECT_TRUE(path.IsEmpty());
}

TEST_F(ShellHoldersTest, TheComScopeBalancesOnlyWhatItInitialised)
{
    // On a fresh thread, multithreaded first when the host is: the scope's result, then what
    // CoInitializeEx answers after the scope.
    for (bool hostMultithreaded : {false, true})
    {
        HRESULT inScope = E_FAIL, afterScope = E_FAIL;
        CThread([&] { // runs on a thread of its own and is waited for
            if (hostMultithreaded)
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            {
                CComInitScope scope;
                inScope = scope.Result();
            }
            afterScope = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (SUCCEEDED(afterScope))
                CoUninitialize();
            if (hostMultithreaded)
                CoUninitialize();
        });
        EXPECT_EQ(hostMultithreaded ? RPC_E_CHANGED_MODE : S_OK, inScope);
        EXPECT_EQ(hostMultithreaded ? S_FALSE : S_OK, afterScope); // only the host's apartment stays
    }
}

TEST_P(ShellObjectsTest, TheFolderBrowserStartsAtTheInitialFolderAndReturnsTheChoice)
{
    CScratchFolder scratch;
    const CWideString initial = scratch.AddFolder(L"Start Here");
    for (int button : {IDOK, IDCANCEL})
    {
        CWideString chosen(L"stale");
        bool browsed;
        {
            const DWORD self = GetCurrentThreadId();
            CThread clicker([=] { ClickDialogButton(self, button); });
            browsed = BrowseForFolder(nullptr, CWideString(L"Choose the work folder"), initial, chosen);
        }
        EXPECT_EQ(button == IDOK, browsed);
        EXPECT_EQ(button == IDOK ? initial : CWideString(L"stale"), chosen);
    }
}

TEST_P(ShellObjectsTest, ModulePathsOfMoreThanTwoHundredSixtyCharactersFail)
{
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    CWideString path;
    EXPECT_TRUE(GetModuleFilePath(nullptr, path));
    EXPECT_EQ(CWideString(self), path);
    EXPECT_FALSE(GetModuleFilePath(reinterpret_cast<HMODULE>(0x10000), path));
    EXPECT_TRUE(path.IsEmpty());

    // Copies of this program, loaded as modules (their code never runs) under names of the
    // lengths asked for.
    CScratchFolder scratch;
    const CWideString folder = scratch.AddFolder(L"deep");
    for (int length : {259, 260, 261, 262})
    {
        std::wstring name = std::wstring(folder.Ptr()) + L"\\";
        name.append(length - 4 - name.size(), L'm').append(L".dll");
        const std::wstring longName = L"\\\\?\\" + name;
        ASSERT_TRUE(CopyFileW(self, longName.c_str(), FALSE)) << GetLastError();
        HMODULE module = LoadLibraryExW(longName.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(nullptr, module) << GetLastError();
        path = L"stale";
        EXPECT_EQ(length <= 260, GetModuleFilePath(module, path)) << length;
        EXPECT_EQ(length <= 260 ? CWideString(name.c_str()) : CWideString(), path) << length;
        FreeLibrary(module);
        DeleteFileW(longName.c_str());
    }
}
