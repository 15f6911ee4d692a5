// The built module hosted by the stand-in file manager, "VNTXFM.exe /options": the exports are
// found by name in Vantor.dll, the class id travels as a 16-byte string, and the sheet that the
// host's thread shows saves into the registry like the file manager's would.
#include "OptionsTestSupport.h"

#include "resources/ResourceIds.h"

namespace
{
using PluginHost = COptionsTest;

// The visible sheet of another process, found by its caption.
HWND WaitForSheetOf(DWORD processId)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(20))
        for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"#32770", L"Vantor Options")) != nullptr;)
        {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == processId && IsWindowVisible(window))
                return window;
        }
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
    DWORD processId = 0;
    HANDLE process = StartProgram(L"\"" + folder + L"VNTXFM.exe\" /options", &processId);
    SetEnvironmentVariableW(L"VANTOR_FILEMANAGER_LOG", nullptr);
    ASSERT_NE(nullptr, process);
    HWND sheet = WaitForSheetOf(processId);
    EXPECT_NE(nullptr, sheet);
    if (sheet != nullptr)
    {
        HWND cascaded =
            GetDlgItem(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), IDC_SYSTEM_CASCADED);
        EXPECT_EQ(BST_CHECKED, SendMessageW(cascaded, BM_GETCHECK, 0, 0));
        SendMessageW(cascaded, BM_CLICK, 0, 0);
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    }
    EXPECT_EQ(0u, FinishProgram(process, 30000));
    EXPECT_EQ("[VNTXFM /options]\r\n"
              "PluginName=Vantor\r\n"
              "ClassId={23170F69-40C1-278D-1000-000100020000}\r\n"
              "CreateObject=0x00000000\r\n"
              "ShowOptions=0x00000000\r\n"
              "ExitCode=0\r\n",
              ReadAll(log));
    EXPECT_EQ(0u, StoredNumber(L"CascadedMenu"));
    EXPECT_EQ(0x3F37u, StoredNumber(L"ContextMenu"));
}
