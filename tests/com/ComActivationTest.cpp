#include "ComTestSupport.h"

#include "menu/ShellMenuHandler.h"

#include <olectl.h>

#include <string>
#include <vector>

namespace
{
const GUID kHandlerClass = {0x23170F69, 0x40C1, 0x439B, {0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}};

// What Explorer does with a handler for a selection, and then what the file manager does:
// every step must succeed, and the module must be free to go once the handler is released.
void ActivateAndHandOverSelections(const CLoadedModule& module, const CScratchFolder& scratch)
{
    CComRef<IDataObject> data;
    ASSERT_EQ(S_OK, CreateShellDataObject(scratch.Path(), {L"report.zip", L"notes.txt", L"photos"}, data.Out()));
    CTestIdList dropTarget;
    ASSERT_TRUE(dropTarget.Parse(scratch.Path()));
    CTestIdList virtualFolder;
    ASSERT_TRUE(virtualFolder.SpecialFolder(CSIDL_DRIVES));
    {
        CComRef<IShellExtInit> init;
        ASSERT_EQ(S_OK,
                  CoCreateInstance(kHandlerClass, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.OutVoid()));
        EXPECT_EQ(S_FALSE, module.Call("DllCanUnloadNow"));
        EXPECT_EQ(S_OK, init->Initialize(nullptr, data.Get(), nullptr));
        EXPECT_EQ(S_OK, init->Initialize(dropTarget.Get(), data.Get(), nullptr));
        EXPECT_EQ(S_OK, init->Initialize(virtualFolder.Get(), data.Get(), nullptr));
        EXPECT_EQ(E_FAIL, init->Initialize(dropTarget.Get(), nullptr, nullptr));

        CComRef<IContextMenu> menu;
        ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, menu.OutVoid()));
        CComRef<IHostMenuInit> host;
        ASSERT_EQ(S_OK, menu->QueryInterface(IID_IHostMenuInit, host.OutVoid()));
        const wchar_t* names[] = {L"C:\\Work\\report.zip", L"C:\\Work\\data"};
        EXPECT_EQ(S_OK, host->InitContextMenu(0, names, 2));
        EXPECT_EQ(S_OK, host->InitContextMenu(0, nullptr, 0));

        CComRef<IUnknown> identityFromInit;
        CComRef<IUnknown> identityFromHost;
        ASSERT_EQ(S_OK, init->QueryInterface(IID_IUnknown, identityFromInit.OutVoid()));
        ASSERT_EQ(S_OK, host->QueryInterface(IID_IUnknown, identityFromHost.OutVoid()));
        EXPECT_EQ(identityFromInit.Get(), identityFromHost.Get());
        EXPECT_EQ(static_cast<IUnknown*>(menu.Get()), identityFromInit.Get());
    }
    EXPECT_EQ(S_OK, module.Call("DllCanUnloadNow"));
}
} // namespace

class ComActivationTest : public CServerTest
{
protected:
    void SetUp() override
    {
        CServerTest::SetUp();
        ASSERT_NE(nullptr, _module.Handle());
        ASSERT_EQ(S_OK, _module.Call("DllRegisterServer"));
        _scratch.AddFile(L"report.zip");
        _scratch.AddFile(L"notes.txt");
        _scratch.AddFolder(L"photos");
    }

    CRegistrySnapshot _classKey{HKEY_CLASSES_ROOT, kHandlerClassKey};
    CRegistrySnapshot _shellExtensions{HKEY_LOCAL_MACHINE, kShellExtensionsKey};
    CLoadedModule _module{VantorDllPath()};
    CScratchFolder _scratch;
};

TEST_F(ComActivationTest, HandlerWorksAsExplorerAndTheFileManagerUseIt)
{
    ActivateAndHandOverSelections(_module, _scratch);
}

TEST_F(ComActivationTest, CreationThroughComRefusesWhatTheHandlerDoesNotOffer)
{
    struct
    {
        bool Aggregate;
        const GUID* Iid;
        HRESULT Expected;
    } const cases[] = {
        {true, &IID_IUnknown, CLASS_E_NOAGGREGATION},
        {false, &IID_IClassFactory, E_NOINTERFACE},
        {false, &IID_IContextMenu3, E_NOINTERFACE},
        {false, &IID_IContextMenu, S_OK},
        {false, &IID_IShellExtInit, S_OK},
        {false, &IID_IHostMenuInit, S_OK},
    };
    CReleaseSpy outer;
    for (const auto& item : cases)
    {
        CComRef<IUnknown> object;
        EXPECT_EQ(item.Expected, CoCreateInstance(kHandlerClass, item.Aggregate ? &outer : nullptr,
                                                  CLSCTX_INPROC_SERVER, *item.Iid, object.OutVoid()));
        EXPECT_EQ(item.Expected == S_OK, static_cast<bool>(object));
    }
    EXPECT_EQ(S_OK, _module.Call("DllCanUnloadNow"));
}

TEST_F(ComActivationTest, ClassObjectLockDoesNotKeepTheModule)
{
    {
        CComRef<IClassFactory> factory;
        ASSERT_EQ(S_OK,
                  CoGetClassObject(kHandlerClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.OutVoid()));
        EXPECT_EQ(S_FALSE, _module.Call("DllCanUnloadNow"));
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    }
    EXPECT_EQ(S_OK, _module.Call("DllCanUnloadNow"));
}

TEST_F(ComActivationTest, Windows98HostActivatesTheHandlerThroughAnsiPaths)
{
    CWindows98Program win98(L"test_com_win98.exe");
    ASSERT_TRUE(win98.IsReady());
    const std::wstring mark = std::wstring(_scratch.Path().Ptr()) + L"child.ok";
    EXPECT_TRUE(win98.RunChild(L"Activate", VantorDllPath(), mark));
}

// The child side of the Windows 98 cases, disabled in ordinary runs: CWindows98Program runs
// them in a copy of this program that Wine shows Windows 98.
class ComWindows98Child : public CServerTest
{
protected:
    void SetUp() override
    {
        CServerTest::SetUp();
        _dllPath = EnvironmentText(kChildDllVariable);
        ASSERT_FALSE(_dllPath.empty()) << "run by the Windows 98 cases only";
        OSVERSIONINFOA info = {};
        info.dwOSVersionInfoSize = sizeof(info);
        ASSERT_TRUE(GetVersionExA(&info));
        ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
    }
    void TearDown() override
    {
        CServerTest::TearDown();
        if (!_dllPath.empty() && !HasFailure())
        {
            HANDLE file = CreateFileW(EnvironmentText(kChildMarkVariable).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
    }

    std::wstring _dllPath;
};

TEST_F(ComWindows98Child, DISABLED_Register)
{
    CLoadedModule module(_dllPath);
    ASSERT_NE(nullptr, module.Handle());
    EXPECT_EQ(S_OK, module.Call("DllRegisterServer"));
}

TEST_F(ComWindows98Child, DISABLED_Unregister)
{
    CLoadedModule module(_dllPath);
    ASSERT_NE(nullptr, module.Handle());
    EXPECT_EQ(S_OK, module.Call("DllUnregisterServer"));
}

TEST_F(ComWindows98Child, DISABLED_Activate)
{
    CLoadedModule module(_dllPath);
    ASSERT_NE(nullptr, module.Handle());
    CScratchFolder scratch;
    scratch.AddFile(L"report.zip");
    scratch.AddFile(L"notes.txt");
    scratch.AddFolder(L"photos");
    ActivateAndHandOverSelections(module, scratch);
}
