// The built module's registration exports, called as regsvr32 and Windows 98 installers call them.
#include "TestSupport.h"

namespace
{
const std::wstring kServerKey = kHandlerClassKey + L"\\InprocServer32";
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const wchar_t kName[] = L"Vantor Shell Extension";

// Each test starts with the class unregistered and without an approval, whatever an earlier run left.
class ComTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        CModuleTest::SetUp();
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kApprovedKey);
    }
    void ExpectRegisteredAt(const std::wstring& modulePath, bool approved)
    {
        EXPECT_EQ(Text(kName), RawValue(HKEY_CLASSES_ROOT, kHandlerClassKey, L""));
        EXPECT_EQ((CValues{{L"", Text(modulePath)}, {L"ThreadingModel", Text(L"Apartment")}}),
                  RawValues(HKEY_CLASSES_ROOT, kServerKey));
        EXPECT_EQ(approved ? Text(kName) : kNoValue, RawValue(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassId));
    }

    const std::wstring _dll = std::wstring(TestProgramFolder().Ptr()) + L"Vantor.dll";
    CRegistrySnapshot _classKey{HKEY_CLASSES_ROOT, kHandlerClassKey};
    CRegistrySnapshot _approved{HKEY_LOCAL_MACHINE, kApprovedKey};
    CScratchFolder _scratch;
};

// regsvr32 registers the module under its exact path, unregisters twice without complaint and
// leaves a class key that another program extended with what that program put there.
TEST_F(ComTest, RegsvrRegistersAndUnregistersTheClass)
{
    const std::wstring regsvr = L"regsvr32.exe /s ", dll = L"\"" + _dll + L"\"";
    ASSERT_EQ(0u, RunProgram(regsvr + dll));
    ExpectRegisteredAt(_dll, true);
    SetRaw(HKEY_CLASSES_ROOT, kHandlerClassKey + L"\\ShellFolder", L"Attributes", Text(L"0"));
    for (int run = 0; run < 2; run++)
        EXPECT_EQ(0u, RunProgram(regsvr + L"/u " + dll));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kServerKey));
    EXPECT_EQ(Text(L"0"), RawValue(HKEY_CLASSES_ROOT, kHandlerClassKey + L"\\ShellFolder", L"Attributes"));
    EXPECT_EQ(kNoValue, RawValue(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassId));
}

// Windows 98 has only the ANSI entry points and no approval list: a module in a folder named
// outside the ANSI code page is registered under its ANSI name, and an approval that another
// installation left stays.
TEST_F(ComTest, Windows98RegistersThroughAnsiWithoutTheApprovalList)
{
    const std::wstring dll = std::wstring(_scratch.AddFolder(L"\x03A9mega").Ptr()) + L"\\Vantor.dll";
    ASSERT_TRUE(CopyFileW(_dll.c_str(), dll.c_str(), FALSE));
    char narrow[MAX_PATH * 2] = {};
    wchar_t ansiName[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, dll.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
    MultiByteToWideChar(CP_ACP, 0, narrow, -1, ansiName, MAX_PATH * 2);
    ASSERT_NE(dll, ansiName);

    const std::wstring child = L"VANTOR_CHILD_DLL=" + dll + L";VANTOR_CHILD_CALL=";
    EXPECT_EQ(0u, RunThisProgramOnWindows98(L"ComChild.*", (child + L"DllRegisterServer").c_str()));
    ExpectRegisteredAt(ansiName, false);

    SetRaw(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassId, Text(kName));
    EXPECT_EQ(0u, RunThisProgramOnWindows98(L"ComChild.*", (child + L"DllUnregisterServer").c_str()));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
    EXPECT_EQ(Text(kName), RawValue(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassId));
}

TEST(ComChild, CallsTheExport)
{
    if (!IsTestChild())
        GTEST_SKIP() << "calls one export, in the Windows 98 child of ComTest.Windows98RegistersThroughAnsi...";
    const HMODULE module = LoadLibraryW(_wgetenv(L"VANTOR_CHILD_DLL"));
    ASSERT_NE(nullptr, module);
    const auto function = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, getenv("VANTOR_CHILD_CALL"))));
    ASSERT_NE(nullptr, function);
    EXPECT_EQ(S_OK, function());
    FreeLibrary(module);
}
} // namespace
