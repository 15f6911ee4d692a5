#include "LaunchTestSupport.h"

#include "server/Module.h"

namespace
{
// Wine reports Windows 98 to a program named in this key, read when the program starts: the
// child below takes the module's ANSI paths from its first call on, as on that system.
const wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\test_launch.exe";

class LaunchWindows98Test : public CModuleTest
{
};

void SetWindows98(HKEY root, const wchar_t* path)
{
    HKEY key;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const wchar_t version[] = L"win98";
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), sizeof(version));
    RegCloseKey(key);
}
} // namespace

// Runs only inside the child started below.
TEST_F(LaunchWindows98Test, ChildRunsWithoutWideCalls)
{
    char marker[8] = {};
    if (GetEnvironmentVariableA("VANTOR_EXPECT_WIN98", marker, sizeof(marker)) == 0)
        GTEST_SKIP() << "only in the Windows 98 child";
    EXPECT_FALSE(IsNtPlatform());
    EXPECT_FALSE(g_WideApisAvailable);
}

// The command lines, the name list, invocation and the command strings, all on the ANSI path of
// a process that Wine tells it runs on Windows 98. (The tests left out expect characters in
// command lines that code page 1252 lacks to arrive whole.)
TEST_F(LaunchWindows98Test, LaunchAndInvocationPassOnWindows98)
{
    CRegistrySnapshot appDefaults(HKEY_CURRENT_USER, kAppDefaults);
    SetWindows98(HKEY_CURRENT_USER, kAppDefaults);
    const DWORD exitCode = RunThisProgram(L"LaunchWindows98Test.ChildRunsWithoutWideCalls:"
                                          L"ArchiverCommandsTest.*CommandLines:"
                                          L"ArchiverCommandsTest.NameListBlockHoldsEachNameWithItsZero:"
                                          L"ArchiverCommandsTest.WindowsNinetyEightPathKeepsTheBlockWide:"
                                          L"ArchiverCommandsTest.ArchiverSlowerThanTheLimitStillFindsItsList:"
                                          L"LaunchProcessTest.AnsiPathReplacesCharactersTheCodePageLacks:"
                                          L"LaunchProcessTest.WorkingFolderIsPassedOrInherited:"
                                          L"InvokeCommandTest.EveryCommandReachesTheArchiverByOffsetAndByVerb:"
                                          L"InvokeCommandTest.CascadedSubmenuEntryDoesNothing:"
                                          L"InvokeCommandTest.UnknownOffsetsAndVerbsFail:"
                                          L"InvokeCommandTest.WindowsNinetyEightPathMatchesAnsiVerbs:"
                                          L"CommandStringTest.*",
                                          L"VANTOR_EXPECT_WIN98=1");
    EXPECT_EQ(0u, exitCode);
}
