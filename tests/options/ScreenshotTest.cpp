// Not a check: the picture-taking mode that scripts/screenshots-options.sh uses. With
// VANTOR_OPTIONS_SCREENSHOTS naming a folder, the sheet is opened, each tab is shown in turn and
// announced in "<page>.ready" (its screen rectangle as "x y width height"); the script takes the
// picture and answers with "<page>.done". In every other run the test is skipped.
#include "OptionsTestSupport.h"
#include "SheetDriver.h"

#include <string>

namespace
{
class OptionsScreenshots : public COptionsTest
{
};

std::wstring ScreenshotFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    GetEnvironmentVariableW(L"VANTOR_OPTIONS_SCREENSHOTS", folder, MAX_PATH);
    std::wstring text(folder);
    if (!text.empty() && text.back() != L'\\')
        text += L'\\';
    return text;
}

bool WriteText(const std::wstring& path, const std::string& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return written == text.size();
}

bool WaitForFile(const std::wstring& path, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}
} // namespace

TEST_F(OptionsScreenshots, EachPage)
{
    const std::wstring folder = ScreenshotFolder();
    if (folder.empty())
        GTEST_SKIP() << "takes pictures only for scripts/screenshots-options.sh";
    CSheetDriver driver(
        [&folder](CSheetDriver& d)
        {
            const wchar_t* const pages[] = {L"system", L"folders"};
            for (int index = 0; index < 2; index++)
            {
                d.SelectTab(index);
                RedrawWindow(d.Sheet(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
                Sleep(500);
                RECT rect;
                GetWindowRect(d.Sheet(), &rect);
                const std::string geometry = std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
                                             std::to_string(rect.right - rect.left) + " " +
                                             std::to_string(rect.bottom - rect.top) + "\n";
                const std::wstring base = folder + pages[index];
                ASSERT_TRUE(WriteText(base + L".ready", geometry));
                EXPECT_TRUE(WaitForFile(base + L".done", 60000)) << "no picture taken";
            }
            d.PressCancel();
        });
    EXPECT_EQ(S_OK, ShowOptionsOnce());
    driver.Finish();
    EXPECT_TRUE(driver.SawSheet());
}
