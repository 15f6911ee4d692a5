// Not a check: the picture-taking mode of scripts/screenshots-options.sh. With
// VANTOR_OPTIONS_SCREENSHOTS naming a folder, each tab is shown in turn and announced in
// "<page>.ready" (the sheet's screen rectangle as "x y width height"); the script takes the
// picture and answers with "<page>.done". In every other run the test is skipped.
#include "OptionsTestSupport.h"

using OptionsScreenshots = COptionsTest;

TEST_F(OptionsScreenshots, EachPage)
{
    wchar_t folder[MAX_PATH + 1] = {};
    if (GetEnvironmentVariableW(L"VANTOR_OPTIONS_SCREENSHOTS", folder, MAX_PATH) == 0)
        GTEST_SKIP() << "takes pictures only for scripts/screenshots-options.sh";
    ShowOptionsWith(
        [&folder](CSheetDriver& d)
        {
            for (int index = 0; index < 2; index++)
            {
                d.SelectTab(index);
                RedrawWindow(d.Sheet(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
                Sleep(500);
                RECT rect;
                GetWindowRect(d.Sheet(), &rect);
                char geometry[64];
                const DWORD size = wsprintfA(geometry, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                                             rect.bottom - rect.top);
                const std::wstring base = std::wstring(folder) + (index == 0 ? L"\\system" : L"\\folders");
                HANDLE file = CreateFileW((base + L".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
                ASSERT_NE(INVALID_HANDLE_VALUE, file);
                DWORD written = 0;
                WriteFile(file, geometry, size, &written, nullptr);
                CloseHandle(file);
                for (int wait = 0;
                     wait < 1200 && GetFileAttributesW((base + L".done").c_str()) == INVALID_FILE_ATTRIBUTES; wait++)
                    Sleep(50);
            }
            d.Press(PSBTN_CANCEL);
        });
}
