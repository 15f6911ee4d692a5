#include "ServerTestSupport.h"

#include <string>

namespace
{
const GUID kHandlerClass = {0x23170F69, 0x40C1, 0x439B, {0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}};
const GUID kHostMenuInit = {0x23170F69, 0x40C1, 0x278D, {0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00}};
const wchar_t kChildDll[] = L"VANTOR_CHILD_DLL";
const wchar_t kChildCall[] = L"VANTOR_CHILD_CALL";

std::wstring VantorDllPath()
{
    return std::wstring(TestProgramFolder().Ptr()) + L"Vantor.dll";
}

// regsvr32 /s with the given switches on a module; its exit code.
DWORD Regsvr32(const wchar_t* switches, const std::wstring& dllPath)
{
    std::wstring commandLine = L"regsvr32.exe /s " + std::wstring(switches) + L" \"" + dllPath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    DWORD exitCode = 0xFFFFFFFF;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    return exitCode;
}

// One of the module's argument-less exports, called through the loaded module.
HRESULT CallExport(HMODULE module, const char* name)
{
    typedef HRESULT(STDAPICALLTYPE * CExport)();
    const CExport function = reinterpret_cast<CExport>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr ? function() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}
} // namespace

class ComTest : public CServerTest
{
protected:
    void ExpectRegisteredAt(const std::wstring& modulePath, bool approved)
    {
        EXPECT_EQ(L"Vantor Shell Extension", ReadRegistryText(HKEY_CLASSES_ROOT, kHandlerClassKey, nullptr));
        EXPECT_EQ(modulePath, ReadRegistryText(HKEY_CLASSES_ROOT, kHandlerServerKey, nullptr));
        EXPECT_EQ(L"Apartment", ReadRegistryText(HKEY_CLASSES_ROOT, kHandlerServerKey, L"ThreadingModel"));
        EXPECT_EQ(approved ? L"Vantor Shell Extension" : L"<missing>",
                  ReadRegistryText(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassIdText));
    }

    CRegistrySnapshot _classKey{HKEY_CLASSES_ROOT, kHandlerClassKey};
    CRegistrySnapshot _shellExtensions{HKEY_LOCAL_MACHINE, kShellExtensionsKey};
    CScratchFolder _scratch;
};

// regsvr32 registers the module under its exact path, unregisters twice without complaint and
// leaves a class key that another program extended with what that program put there.
TEST_F(ComTest, RegsvrRegistersAndUnregistersTheClass)
{
    const std::wstring dll = VantorDllPath();
    ASSERT_EQ(0u, Regsvr32(L"", dll));
    ExpectRegisteredAt(dll, true);
    EXPECT_EQ(0u, Regsvr32(L"/u", dll));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
    EXPECT_EQ(L"<missing>", ReadRegistryText(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassIdText));
    EXPECT_EQ(0u, Regsvr32(L"/u", dll));

    ASSERT_EQ(0u, Regsvr32(L"", dll));
    const std::wstring foreign = std::wstring(kHandlerClassKey) + L"\\ShellFolder";
    ASSERT_TRUE(WriteRegistryText(HKEY_CLASSES_ROOT, foreign.c_str(), L"Attributes", L"0"));
    EXPECT_EQ(0u, Regsvr32(L"/u", dll));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerServerKey));
    EXPECT_EQ(L"0", ReadRegistryText(HKEY_CLASSES_ROOT, foreign.c_str(), L"Attributes"));
}

// Windows 98 has only the ANSI entry points and no approval list: a module in a folder named
// outside the ANSI code page is registered under its ANSI name, and an approval that another
// installation left stays. Wine shows Windows 98 to a program named in AppDefaults from its start.
TEST_F(ComTest, Windows98RegistersThroughAnsiWithoutTheApprovalList)
{
    const std::wstring dll = std::wstring(_scratch.AddFolder(L"\x03A9mega").Ptr()) + L"\\Vantor.dll";
    ASSERT_TRUE(CopyFileW(VantorDllPath().c_str(), dll.c_str(), FALSE));
    char narrow[MAX_PATH * 2] = {};
    wchar_t ansiName[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, dll.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
    MultiByteToWideChar(CP_ACP, 0, narrow, -1, ansiName, MAX_PATH * 2);
    ASSERT_NE(dll, ansiName);

    const wchar_t appDefaults[] = L"Software\\Wine\\AppDefaults\\test_com.exe";
    CRegistrySnapshot setting(HKEY_CURRENT_USER, appDefaults);
    ASSERT_TRUE(WriteRegistryText(HKEY_CURRENT_USER, appDefaults, L"Version", L"win98"));
    const std::wstring child =
        L"GTEST_ALSO_RUN_DISABLED_TESTS=1;" + std::wstring(kChildDll) + L"=" + dll + L";" + kChildCall + L"=";
    EXPECT_EQ(0u, RunThisProgram(L"ComWindows98Child.*", (child + L"DllRegisterServer").c_str()));
    ExpectRegisteredAt(ansiName, false);

    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassIdText, L"Vantor Shell Extension"));
    EXPECT_EQ(0u, RunThisProgram(L"ComWindows98Child.*", (child + L"DllUnregisterServer").c_str()));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
    EXPECT_EQ(L"Vantor Shell Extension", ReadRegistryText(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassIdText));
}

// Run only by the case above, in a child that Wine shows Windows 98: calls one export.
TEST(ComWindows98Child, DISABLED_CallsTheExport)
{
    wchar_t dll[MAX_PATH * 2] = {};
    char call[64] = {};
    ASSERT_NE(0u, GetEnvironmentVariableW(kChildDll, dll, MAX_PATH * 2));
    ASSERT_NE(0u, GetEnvironmentVariableA("VANTOR_CHILD_CALL", call, sizeof(call)));
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(&info));
    ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
    const HMODULE module = LoadLibraryW(dll);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(S_OK, CallExport(module, call));
    FreeLibrary(module);
}

// Explorer's way: after registration, CoCreateInstance with the class id on an apartment
// thread, then IShellExtInit::Initialize with the shell's own data object for a right-click
// and with a folder for a right-button drag; the product's file manager uses IHostMenuInit.
// The module is built from the same headers as this program, so its object can be read here.
TEST_F(ComTest, ExplorerActivatesTheHandlerAndHandsItSelections)
{
    const HMODULE module = LoadLibraryW(VantorDllPath().c_str());
    ASSERT_NE(nullptr, module);
    ASSERT_EQ(S_OK, CallExport(module, "DllRegisterServer"));
    _scratch.AddFile(L"report.zip");
    _scratch.AddFolder(L"photos");
    CComRef<IDataObject> data;
    ASSERT_EQ(S_OK, CreateShellDataObject(_scratch.Path(), {L"report.zip", L"photos"},
                                          reinterpret_cast<IDataObject**>(data.Out())));
    const std::wstring folder = _scratch.Path().Ptr();
    const CTestIdList folderList(folder.c_str()), root(L"C:\\"), drives(CSIDL_DRIVES);
    ASSERT_TRUE(folderList.Get() != nullptr && root.Get() != nullptr && drives.Get() != nullptr);
    struct
    {
        const CTestIdList* Folder;
        bool IsDropTarget;
        std::wstring DropFolder;
    } const cases[] = {
        {nullptr, false, L""},
        {&folderList, true, folder},
        {&root, true, L"C:\\"},
        {&drives, false, L""},
    };
    {
        CComRef<IShellExtInit> init;
        ASSERT_EQ(S_OK, CoCreateInstance(kHandlerClass, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.Out()));
        EXPECT_EQ(S_FALSE, CallExport(module, "DllCanUnloadNow"));
        CComRef<IContextMenu> menu;
        ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, menu.Out()));
        const CShellMenuHandler* handler = static_cast<CShellMenuHandler*>(menu.Get());
        for (const auto& item : cases)
        {
            SCOPED_TRACE(&item - cases);
            EXPECT_EQ(S_OK, init->Initialize(item.Folder ? item.Folder->Get() : nullptr, data.Get(), nullptr));
            EXPECT_EQ((std::vector<std::wstring>{folder + L"report.zip", folder + L"photos"}), SelectedNames(*handler));
            EXPECT_EQ(item.IsDropTarget, handler->IsDropTarget);
            EXPECT_EQ(item.DropFolder, handler->DropFolder.Ptr());
        }
        // One identity, whichever view the caller starts from; nothing beyond the three views.
        CComRef<IHostMenuInit> host;
        CComRef<IUnknown> identity;
        CComRef<IContextMenu2> menu2;
        ASSERT_EQ(S_OK, init->QueryInterface(kHostMenuInit, host.Out()));
        ASSERT_EQ(S_OK, host->QueryInterface(IID_IUnknown, identity.Out()));
        EXPECT_EQ(E_NOINTERFACE, host->QueryInterface(IID_IContextMenu2, menu2.Out()));
        EXPECT_EQ(static_cast<IUnknown*>(menu.Get()), identity.Get());
        EXPECT_EQ(static_cast<const IShellExtInit*>(handler), init.Get());
        EXPECT_EQ(static_cast<const IHostMenuInit*>(handler), host.Get());
        EXPECT_EQ(4, handler->RefCount);
        const wchar_t* names[] = {L"C:\\Work\\report.zip", L"C:\\Work\\data"};
        EXPECT_EQ(S_OK, host->InitContextMenu(0, names, 2));
        EXPECT_EQ((std::vector<std::wstring>{names[0], names[1]}), SelectedNames(*handler));
        EXPECT_FALSE(handler->IsDropTarget);
    }
    EXPECT_EQ(S_OK, CallExport(module, "DllCanUnloadNow"));
    FreeLibrary(module);
}
