// The built module hosted by the stand-in file manager, "VNTXFM.exe /options": the exports are
// found by name in Vantor.dll, the class id travels as a 16-byte string, and the sheet that the
// host's thread shows saves into the registry like the file manager's would.
#include "OptionsTestSupport.h"

#include "resources/ResourceIds.h"

#include <string>

namespace
{
class PluginHost : public COptionsTest
{
};

// The sheet of another process, found by its caption.
HWND WaitForSheetOf(DWORD processId, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do
    {
        HWND window = nullptr;
        while ((window = FindWindowExW(nullptr, window, L"#32770", L"Vantor Options")) != nullptr)
        {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == processId && IsWindowVisible(window))
                return window;
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}
} // namespace

TEST_F(PluginHost, FileManagerShowsTheSheetOfTheBuiltModule)
{
    const std::wstring folder(TestProgramFolder().Ptr());
    if (GetFileAttributesW((folder + L"VNTXFM.exe").c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesW((folder + L"Vantor.dll").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "VNTXFM.exe and Vantor.dll are not built beside the tests";

    CScratchFolder scratch;
    const CWideString log = scratch.Path() + L"filemanager.txt";
    SetEnvironmentVariableW(L"VANTOR_FILEMANAGER_LOG", log);
    std::wstring commandLine = L"\"" + folder + L"VNTXFM.exe\" /options";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(L"VANTOR_FILEMANAGER_LOG", nullptr);
    ASSERT_TRUE(started);
    CloseHandle(process.hThread);

    HWND sheet = WaitForSheetOf(process.dwProcessId, 30000);
    EXPECT_NE(nullptr, sheet);
    if (sheet != nullptr)
    {
        HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        EXPECT_EQ(BST_CHECKED, SendMessageW(GetDlgItem(page, IDC_SYSTEM_CASCADED), BM_GETCHECK, 0, 0));
        SendMessageW(GetDlgItem(page, IDC_SYSTEM_CASCADED), BM_CLICK, 0, 0);
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 30000));
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (exitCode == STILL_ACTIVE)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);

    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ("[VNTXFM /options]\r\n"
              "PluginName=Vantor\r\n"
              "ClassId={23170F69-40C1-278D-1000-000100020000}\r\n"
              "CreateObject=0x00000000\r\n"
              "ShowOptions=0x00000000\r\n"
              "ExitCode=0\r\n",
              ReadAll(log));
    DWORD cascaded = 1;
    EXPECT_TRUE(Reg::GetNumber(HKEY_CURRENT_USER, kOptionsKey, L"CascadedMenu", cascaded));
    EXPECT_EQ(0u, cascaded);
    DWORD mask = 0;
    EXPECT_TRUE(Reg::GetNumber(HKEY_CURRENT_USER, kOptionsKey, L"ContextMenu", mask));
    EXPECT_EQ(0x3F37u, mask);
}
