// The built module's registration exports, called the way installers call them: by regsvr32, and
// on Windows 98 through the module's ANSI paths. How Explorer then activates the handler is the
// end-to-end run's part; what the handler does with a selection is the unit tests'.
#include "TestSupport.h"

#include <string>

namespace
{
const wchar_t kClassKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}";
const wchar_t kServerKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}\\InprocServer32";
const wchar_t kShellExtensionsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions";
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const wchar_t kClassIdText[] = L"{23170F69-40C1-439B-1000-000100020000}";
const wchar_t kName[] = L"Vantor Shell Extension";
const wchar_t kChildDll[] = L"VANTOR_CHILD_DLL";
const wchar_t kChildCall[] = L"VANTOR_CHILD_CALL";

std::wstring VantorDllPath()
{
    return std::wstring(TestProgramFolder().Ptr()) + L"Vantor.dll";
}

class ComTest : public CModuleTest
{
protected:
    void ExpectRegisteredAt(const std::wstring& modulePath, bool approved)
    {
        EXPECT_EQ(Text(kName), RawValue(HKEY_CLASSES_ROOT, kClassKey, L""));
        EXPECT_EQ(Text(modulePath), RawValue(HKEY_CLASSES_ROOT, kServerKey, L""));
        EXPECT_EQ(Text(L"Apartment"), RawValue(HKEY_CLASSES_ROOT, kServerKey, L"ThreadingModel"));
        EXPECT_EQ(approved ? Text(kName) : kNoValue, RawValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClassIdText));
    }

    CRegistrySnapshot _classKey{HKEY_CLASSES_ROOT, kClassKey};
    CRegistrySnapshot _shellExtensions{HKEY_LOCAL_MACHINE, kShellExtensionsKey};
    CScratchFolder _scratch;
};

// regsvr32 registers the module under its exact path, unregisters twice without complaint and
// leaves a class key that another program extended with what that program put there.
TEST_F(ComTest, RegsvrRegistersAndUnregistersTheClass)
{
    const std::wstring regsvr = L"regsvr32.exe /s ", dll = L"\"" + VantorDllPath() + L"\"";
    ASSERT_EQ(0u, RunProgram(regsvr + dll));
    ExpectRegisteredAt(VantorDllPath(), true);
    EXPECT_EQ(0u, RunProgram(regsvr + L"/u " + dll));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_EQ(kNoValue, RawValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClassIdText));
    EXPECT_EQ(0u, RunProgram(regsvr + L"/u " + dll));

    ASSERT_EQ(0u, RunProgram(regsvr + dll));
    const std::wstring foreign = std::wstring(kClassKey) + L"\\ShellFolder";
    SetRaw(HKEY_CLASSES_ROOT, foreign, L"Attributes", Text(L"0"));
    EXPECT_EQ(0u, RunProgram(regsvr + L"/u " + dll));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kServerKey));
    EXPECT_EQ(Text(L"0"), RawValue(HKEY_CLASSES_ROOT, foreign, L"Attributes"));
}

// Windows 98 has only the ANSI entry points and no approval list: a module in a folder named
// outside the ANSI code page is registered under its ANSI name, and an approval that another
// installation left stays.
TEST_F(ComTest, Windows98RegistersThroughAnsiWithoutTheApprovalList)
{
    const std::wstring dll = std::wstring(_scratch.AddFolder(L"\x03A9mega").Ptr()) + L"\\Vantor.dll";
    ASSERT_TRUE(CopyFileW(VantorDllPath().c_str(), dll.c_str(), FALSE));
    char narrow[MAX_PATH * 2] = {};
    wchar_t ansiName[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, dll.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
    MultiByteToWideChar(CP_ACP, 0, narrow, -1, ansiName, MAX_PATH * 2);
    ASSERT_NE(dll, ansiName);

    const std::wstring child = std::wstring(kChildDll) + L"=" + dll + L";" + kChildCall + L"=";
    EXPECT_EQ(0u, RunThisProgramOnWindows98(L"ComChild.*", (child + L"DllRegisterServer").c_str()));
    ExpectRegisteredAt(ansiName, false);

    SetRaw(HKEY_LOCAL_MACHINE, kApprovedKey, kClassIdText, Text(kName));
    EXPECT_EQ(0u, RunThisProgramOnWindows98(L"ComChild.*", (child + L"DllUnregisterServer").c_str()));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_EQ(Text(kName), RawValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClassIdText));
}

// Run only by the case above, in the Windows 98 child: calls one export of the module.
TEST(ComChild, CallsTheExport)
{
    if (!IsTestChild())
        GTEST_SKIP() << "runs in the child of ComTest.Windows98RegistersThroughAnsiWithoutTheApprovalList";
    wchar_t dll[MAX_PATH * 2] = {};
    char call[64] = {};
    ASSERT_NE(0u, GetEnvironmentVariableW(kChildDll, dll, MAX_PATH * 2));
    ASSERT_NE(0u, GetEnvironmentVariableA("VANTOR_CHILD_CALL", call, sizeof(call)));
    const HMODULE module = LoadLibraryW(dll);
    ASSERT_NE(nullptr, module);
    typedef HRESULT(STDAPICALLTYPE * CExport)();
    const CExport function = reinterpret_cast<CExport>(reinterpret_cast<void*>(GetProcAddress(module, call)));
    ASSERT_NE(nullptr, function);
    EXPECT_EQ(S_OK, function());
    FreeLibrary(module);
}
} // namespace
