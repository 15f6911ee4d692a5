#include "TestSupport.h"

#include "base/ShellObjects.h"
#include "server/Module.h"

#include <shlobj.h>

#include <string>
#include <vector>

class ShellObjectsTest : public CModuleTest, public ::testing::WithParamInterface<bool>
{
};

INSTANTIATE_TEST_SUITE_P(BothWidths, ShellObjectsTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Ansi"; });

class ShellHoldersTest : public CModuleTest
{
};

namespace
{
// A drop handle as Explorer hands it over: DROPFILES, then the names, each terminated, and one
// more terminator; wide or ANSI.
static_assert(sizeof(DROPFILES) == 20, "DROPFILES is 20 bytes: the names begin right after it");

HDROP MakeDrop(const std::vector<std::wstring>& names, bool wide)
{
    std::vector<char> list;
    for (const std::wstring& name : names)
    {
        if (wide)
        {
            const char* bytes = reinterpret_cast<const char*>(name.c_str());
            list.insert(list.end(), bytes, bytes + (name.size() + 1) * sizeof(wchar_t));
        }
        else
        {
            char narrow[1024] = {};
            WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
            list.insert(list.end(), narrow, narrow + strlen(narrow) + 1);
        }
    }
    list.insert(list.end(), wide ? 2 : 1, 0);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size());
    DROPFILES* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = wide ? TRUE : FALSE;
    memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(), list.size());
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::wstring NameOfLength(size_t length)
{
    std::wstring name = L"C:\\Folder\\";
    while (name.size() < length - 4)
        name += static_cast<wchar_t>(L'a' + name.size() % 26);
    return name + L".txt";
}

// Clicks a button of the first dialog that the given thread shows.
struct CDialogClicker
{
    DWORD ThreadId;
    int Button;
    HANDLE Thread;

    static BOOL CALLBACK FindDialog(HWND window, LPARAM found)
    {
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0)
        {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    static DWORD WINAPI Run(void* parameter)
    {
        CDialogClicker* clicker = static_cast<CDialogClicker*>(parameter);
        for (int attempt = 0; attempt < 200; attempt++)
        {
            HWND dialog = nullptr;
            EnumThreadWindows(clicker->ThreadId, FindDialog, reinterpret_cast<LPARAM>(&dialog));
            if (dialog != nullptr)
            {
                Sleep(300); // let the dialog fill its tree and take the initial selection
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(clicker->Button, BN_CLICKED), 0);
                return 0;
            }
            Sleep(50);
        }
        return 1;
    }

    explicit CDialogClicker(int button) : ThreadId(GetCurrentThreadId()), Button(button)
    {
        Thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~CDialogClicker()
    {
        WaitForSingleObject(Thread, INFINITE);
        CloseHandle(Thread);
    }
};

LPITEMIDLIST IdListOf(const CWideString& path)
{
    LPITEMIDLIST list = nullptr;
    SHParseDisplayName(path, nullptr, &list, 0, nullptr);
    return list;
}

// Records which blocks the task allocator (the shell's allocator) frees.
class CFreeSpy : public IMallocSpy
{
public:
    std::vector<void*> Freed;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy))
        {
            *object = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override { return actual; }
    STDMETHODIMP_(void*) PreFree(void* request, BOOL) override
    {
        Freed.push_back(request);
        return request;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override
    {
        *newRequest = request;
        return size;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override { return actual; }
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
    STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}
};

// The COM state of a fresh thread after a scope, told by what CoInitializeEx answers next.
struct CComProbe
{
    bool HostMultithreaded;
    HRESULT ScopeResult;
    HRESULT AfterScope;
};

DWORD WINAPI ProbeComScope(void* parameter)
{
    CComProbe* probe = static_cast<CComProbe*>(parameter);
    if (probe->HostMultithreaded)
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        CComInitScope scope;
        probe->ScopeResult = scope.Result();
    }
    probe->AfterScope = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(probe->AfterScope))
        CoUninitialize();
    if (probe->HostMultithreaded)
        CoUninitialize();
    return 0;
}
} // namespace

TEST_P(ShellObjectsTest, ADropOfThreeNamesGivesThemInIndexOrder)
{
    CWidePathScope width(GetParam());
    for (bool wideDrop : {true, false})
    {
        const std::vector<std::wstring> names = {L"C:\\Work\\report.zip", L"C:\\Work\\caf\x00E9.txt",
                                                 NameOfLength(259)};
        HDROP drop = MakeDrop(names, wideDrop);
        CDropHandle holder(false);
        holder.Attach(drop);
        EXPECT_EQ(3u, holder.FileCount());
        COwningVector<CWideString> read;
        read.Add(CWideString(L"left over"));
        // A guarded heap makes any write past what was made writable fault.
        AllocHooks::SetGuarded(true);
        holder.FileNames(read);
        AllocHooks::SetGuarded(false);
        ASSERT_EQ(3, read.Count());
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(CWideString(names[i].c_str()), read[i]) << i;
        EXPECT_EQ(259, read[2].Length());
        EXPECT_EQ(3, read.Capacity());
        holder.Release();
        EXPECT_FALSE(holder.Attached);
        GlobalFree(drop); // not finished by the holder: the shell's data object owns it
    }
}

TEST_F(ShellHoldersTest, OnlyAHolderMadeToFinishCallsDragFinish)
{
    HDROP first = MakeDrop({L"C:\\a.txt"}, true);
    HDROP second = MakeDrop({L"C:\\b.txt"}, true);
    ASSERT_NE(0u, GlobalSize(first));
    {
        CDropHandle finishing(true);
        finishing.Attach(first);
        finishing.Attach(second); // finishes the first
        EXPECT_EQ(0u, GlobalSize(first));
        EXPECT_NE(0u, GlobalSize(second));
        EXPECT_TRUE(finishing.Attached);
    }
    EXPECT_EQ(0u, GlobalSize(second));

    HDROP third = MakeDrop({L"C:\\c.txt"}, true);
    {
        CDropHandle keeping(false);
        keeping.Attach(third);
    }
    EXPECT_NE(0u, GlobalSize(third)); // still the data object's to free
    GlobalFree(third);
}

TEST_P(ShellObjectsTest, PathFromIdListGivesTheFileSystemPath)
{
    CWidePathScope width(GetParam());
    CScratchFolder scratch;
    const CWideString folder = scratch.AddFolder(L"Caf\x00E9 Folder");
    CItemIdList list;
    list.Attach(IdListOf(folder));
    ASSERT_NE(nullptr, list.Get());
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

TEST_F(ShellHoldersTest, AttachingTwiceFreesTheFirstListBeforeTakingTheSecond)
{
    CScratchFolder scratch;
    LPITEMIDLIST first = IdListOf(scratch.Path());
    LPITEMIDLIST second = IdListOf(scratch.AddFolder(L"second"));
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    CFreeSpy spy;
    ASSERT_EQ(S_OK, CoRegisterMallocSpy(&spy));
    {
        CItemIdList list;
        list.Attach(first);
        EXPECT_TRUE(spy.Freed.empty());
        list.Attach(second);
        EXPECT_EQ(std::vector<void*>{first}, spy.Freed);
        EXPECT_EQ(second, list.Get());
        list.Free();
        EXPECT_EQ(nullptr, list.Get());
        list.Free(); // nothing held: nothing freed
    }
    EXPECT_EQ((std::vector<void*>{first, second}), spy.Freed);
    CoRevokeMallocSpy();
}

TEST_F(ShellHoldersTest, TheComScopeBalancesOnlyWhatItInitialised)
{
    const struct
    {
        bool HostMultithreaded;
        HRESULT ScopeResult;
        HRESULT AfterScope;
    } cases[] = {
        {false, S_OK, S_OK},                 // the scope's apartment is gone again
        {true, RPC_E_CHANGED_MODE, S_FALSE}, // the host's apartment stays
    };
    for (const auto& c : cases)
    {
        CComProbe probe = {c.HostMultithreaded, E_FAIL, E_FAIL};
        HANDLE thread = CreateThread(nullptr, 0, ProbeComScope, &probe, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        EXPECT_EQ(c.ScopeResult, probe.ScopeResult);
        EXPECT_EQ(c.AfterScope, probe.AfterScope);
    }
}

TEST_P(ShellObjectsTest, TheFolderBrowserStartsAtTheInitialFolderAndReturnsTheChoice)
{
    CWidePathScope width(GetParam());
    CScratchFolder scratch;
    CWideString initial = scratch.AddFolder(L"Start Here");
    CWideString chosen(L"stale");
    bool browsed;
    {
        CDialogClicker clicker(IDOK);
        browsed = BrowseForFolder(nullptr, CWideString(L"Choose the work folder"), initial, chosen);
    }
    EXPECT_TRUE(browsed);
    EXPECT_EQ(initial, chosen);
}

TEST_P(ShellObjectsTest, CancellingTheFolderBrowserReturnsFalse)
{
    CWidePathScope width(GetParam());
    CWideString chosen;
    bool browsed;
    {
        CDialogClicker clicker(IDCANCEL);
        browsed = BrowseForFolder(nullptr, CWideString(L"Choose"), CWideString(L"C:\\"), chosen);
    }
    EXPECT_FALSE(browsed);
}

TEST_P(ShellObjectsTest, TheModulePathIsThePathTheSystemKnows)
{
    CWidePathScope width(GetParam());
    wchar_t expected[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, expected, MAX_PATH + 1);
    CWideString path;
    EXPECT_TRUE(GetModuleFilePath(nullptr, path));
    EXPECT_EQ(CWideString(expected), path);
    EXPECT_FALSE(GetModuleFilePath(reinterpret_cast<HMODULE>(0x10000), path));
    EXPECT_TRUE(path.IsEmpty());
}

TEST_P(ShellObjectsTest, AModulePathOfTwoHundredSixtyOneCharactersFails)
{
    // A copy of this program, loaded as a module (its code never runs) from a folder deep enough
    // that its path has exactly the length asked for.
    CWidePathScope width(GetParam());
    CScratchFolder scratch;
    const CWideString folder = scratch.AddFolder(L"deep");
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    const struct
    {
        int Length;
        bool Read;
    } cases[] = {{259, true}, {260, true}, {261, false}, {262, false}};
    for (const auto& c : cases)
    {
        std::wstring name(folder.Ptr());
        name += L"\\";
        while (static_cast<int>(name.size()) < c.Length - 4)
            name += L'm';
        name += L".dll";
        ASSERT_EQ(c.Length, static_cast<int>(name.size()));
        const std::wstring longName = L"\\\\?\\" + name;
        ASSERT_TRUE(CopyFileW(self, longName.c_str(), FALSE)) << GetLastError();
        HMODULE module = LoadLibraryExW(longName.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(nullptr, module) << GetLastError();
        CWideString path(L"stale");
        EXPECT_EQ(c.Read, GetModuleFilePath(module, path)) << c.Length;
        EXPECT_EQ(c.Read ? CWideString(name.c_str()) : CWideString(), path) << c.Length;
        FreeLibrary(module);
        DeleteFileW(longName.c_str());
    }
}
