#include "ServerTestSupport.h"

#include "server/ClassFactory.h"
#include "server/Module.h"
#include "server/Registration.h"

#include <olectl.h>

#include <string>

namespace
{
std::wstring ModulePath()
{
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(g_ModuleInstance, path, MAX_PATH);
    return path;
}
} // namespace

class RegistrationTest : public CServerTest
{
protected:
    CRegistrySnapshot _classKey{HKEY_CLASSES_ROOT, kHandlerClassKey};
    CRegistrySnapshot _shellExtensions{HKEY_LOCAL_MACHINE, kShellExtensionsKey};
};

TEST_F(RegistrationTest, ClassIdTextIsBracedUpperCaseHex)
{
    const GUID pluginInterface = {0x23170F69, 0x40C1, 0x278D, {0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}};
    const GUID lowerCase = {0xabcdef01, 0x2345, 0x6789, {0xab, 0xcd, 0xef, 0x01, 0x23, 0x45, 0x67, 0x89}};
    struct
    {
        const GUID* Id;
        const char* Text;
    } const cases[] = {
        {&CLSID_ShellMenuHandler, "{23170F69-40C1-439B-1000-000100020000}"},
        {&pluginInterface, "{23170F69-40C1-278D-0000-000100020000}"},
        {&lowerCase, "{ABCDEF01-2345-6789-ABCD-EF0123456789}"},
    };
    for (const auto& item : cases)
    {
        char text[kClassIdTextSize];
        memset(text, 'x', sizeof(text));
        ASSERT_TRUE(FormatClassIdText(*item.Id, text));
        EXPECT_STREQ(item.Text, text);
        EXPECT_EQ(0, text[kClassIdTextSize - 1]);
    }
}

TEST_F(RegistrationTest, RegisterWritesTheClassAndItsApprovalInBothWidths)
{
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
        ASSERT_EQ(S_OK, DllRegisterServer());
        EXPECT_EQ(L"Vantor Shell Extension", ReadRegistryText(HKEY_CLASSES_ROOT, kHandlerClassKey, nullptr));
        EXPECT_EQ(ModulePath(), ReadRegistryText(HKEY_CLASSES_ROOT, kHandlerServerKey, nullptr));
        EXPECT_EQ(L"Apartment", ReadRegistryText(HKEY_CLASSES_ROOT, kHandlerServerKey, L"ThreadingModel"));
        // This prefix reports the NT family.
        ASSERT_TRUE(IsNtPlatform());
        EXPECT_EQ(L"Vantor Shell Extension", ReadRegistryText(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassIdText));
    }
}

TEST_F(RegistrationTest, RegisterWithoutAModulePathWritesNothing)
{
    DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
    const HINSTANCE saved = g_ModuleInstance;
    g_ModuleInstance = reinterpret_cast<HINSTANCE>(0x10); // no module of this process
    const HRESULT result = DllRegisterServer();
    g_ModuleInstance = saved;
    EXPECT_EQ(static_cast<HRESULT>(0x80040201), result);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
}

TEST_F(RegistrationTest, ExhaustedMemoryWhileRegisteringIsReportedAndLeaksNothing)
{
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        int failures = 0;
        for (long n = 1;; n++)
        {
            ASSERT_LT(n, 100);
            DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
            const long blocksBefore = AllocHooks::LiveBlocks();
            CAllocationFailure failure(n);
            const HRESULT result = DllRegisterServer();
            const bool failed = failure.Disarm();
            EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks()) << "allocation " << n;
            if (!failed)
            {
                EXPECT_EQ(S_OK, result);
                EXPECT_EQ(ModulePath(), ReadRegistryText(HKEY_CLASSES_ROOT, kHandlerServerKey, nullptr));
                break;
            }
            failures++;
            EXPECT_EQ(E_OUTOFMEMORY, result) << "allocation " << n << ", wide " << wide;
        }
        EXPECT_GE(failures, 1);
    }
}
