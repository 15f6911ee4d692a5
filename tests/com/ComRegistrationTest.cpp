#include "ComTestSupport.h"

#include <string>

namespace
{
std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// The module as Windows 98 has it written: the ANSI module name, characters outside the code
// page replaced by "?".
std::wstring AnsiRoundTrip(const std::wstring& text)
{
    char narrow[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
    wchar_t wide[MAX_PATH * 2] = {};
    MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, MAX_PATH * 2);
    return wide;
}
} // namespace

class ComRegistrationTest : public CServerTest
{
protected:
    void SetUp() override
    {
        CServerTest::SetUp();
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS)
        {
            RegDeleteValueW(key, kHandlerClassIdText);
            RegCloseKey(key);
        }
    }

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

TEST_F(ComRegistrationTest, RegsvrWritesTheClassWithTheModulesPath)
{
    ASSERT_EQ(0u, RunProcess(L"regsvr32.exe /s " + Quoted(VantorDllPath())));
    CLoadedModule module(VantorDllPath());
    wchar_t loadedPath[MAX_PATH + 1] = {};
    GetModuleFileNameW(module.Handle(), loadedPath, MAX_PATH);
    ExpectRegisteredAt(loadedPath, true);
}

TEST_F(ComRegistrationTest, RegsvrUnregisterRemovesEverythingAndSucceedsTwice)
{
    ASSERT_EQ(0u, RunProcess(L"regsvr32.exe /s " + Quoted(VantorDllPath())));
    ASSERT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerServerKey));
    EXPECT_EQ(0u, RunProcess(L"regsvr32.exe /s /u " + Quoted(VantorDllPath())));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
    EXPECT_EQ(L"<missing>", ReadRegistryText(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassIdText));
    EXPECT_EQ(0u, RunProcess(L"regsvr32.exe /s /u " + Quoted(VantorDllPath())));
}

TEST_F(ComRegistrationTest, UnregisterLeavesWhatAnotherProgramAddedToTheClassKey)
{
    CLoadedModule module(VantorDllPath());
    ASSERT_EQ(S_OK, module.Call("DllRegisterServer"));
    const std::wstring foreign = std::wstring(kHandlerClassKey) + L"\\ShellFolder";
    ASSERT_TRUE(WriteRegistryText(HKEY_CLASSES_ROOT, foreign.c_str(), L"Attributes", L"0"));
    EXPECT_EQ(S_OK, module.Call("DllUnregisterServer"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerServerKey));
    EXPECT_EQ(L"0", ReadRegistryText(HKEY_CLASSES_ROOT, foreign.c_str(), L"Attributes"));
    EXPECT_EQ(L"<missing>", ReadRegistryText(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassIdText));
}

// A module in a folder whose name lies outside the ANSI code page: the NT family registers
// its name exactly, Windows 98 (ANSI entry points only) as its ANSI form, and without the
// approval list that only the NT family has.
TEST_F(ComRegistrationTest, Windows98RegistersThroughAnsiAndLeavesTheApprovalListAlone)
{
    const std::wstring folder = std::wstring(_scratch.AddFolder(L"\x03A9mega").Ptr()) + L"\\";
    const std::wstring copy = folder + L"Vantor.dll";
    ASSERT_TRUE(CopyFileW(VantorDllPath().c_str(), copy.c_str(), FALSE));
    {
        CLoadedModule module(copy);
        ASSERT_EQ(S_OK, module.Call("DllRegisterServer"));
        ExpectRegisteredAt(copy, true);
        ASSERT_EQ(S_OK, module.Call("DllUnregisterServer"));
    }

    CWindows98Program win98(L"test_com_win98.exe");
    ASSERT_TRUE(win98.IsReady());
    const std::wstring mark = std::wstring(_scratch.Path().Ptr()) + L"child.ok";
    ASSERT_TRUE(win98.RunChild(L"Register", copy, mark));
    ExpectRegisteredAt(AnsiRoundTrip(copy), false);
    EXPECT_NE(copy, AnsiRoundTrip(copy));

    // An approval another installation left is not Windows 98's to remove.
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassIdText, L"Vantor Shell Extension"));
    ASSERT_TRUE(win98.RunChild(L"Unregister", copy, mark));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
    EXPECT_EQ(L"Vantor Shell Extension", ReadRegistryText(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassIdText));
}
