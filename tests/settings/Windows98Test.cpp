#include "RegistryTestSupport.h"

#include "server/Module.h"

namespace
{
// Wine reports Windows 98 to a program named in this key: the module then takes its ANSI paths
// for real, from the start of the process.
const wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\test_settings.exe";

// Runs only inside the child started below; elsewhere there is nothing to check.
TEST(Windows98Test, ChildRunsWithoutWideCalls)
{
    char marker[8] = {};
    if (GetEnvironmentVariableA("VANTOR_EXPECT_WIN98", marker, sizeof(marker)) == 0)
        GTEST_SKIP() << "only in the Windows 98 child";
    EXPECT_FALSE(IsNtPlatform());
    EXPECT_FALSE(g_WideApisAvailable);
}

TEST(Windows98Test, RegistryAndSettingsPassOnWindows98)
{
    CRegistrySnapshot appDefaults(HKEY_CURRENT_USER, kAppDefaults);
    SetRaw(kAppDefaults, L"Version", Text(L"win98"));
    EXPECT_EQ(0u, RunThisProgram(L"Windows98Test.ChildRunsWithoutWideCalls:RegistryKeyTest.*:SettingsTest.*:"
                                 L"ShellIntegrationTest.*",
                                 L"VANTOR_EXPECT_WIN98=1"));
}
} // namespace
