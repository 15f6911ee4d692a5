#include "LaunchTestSupport.h"

#include "launch/Launch.h"
#include "resources/ResourceIds.h"
#include "server/Module.h"

namespace
{
class LaunchProcessTest : public CModuleTest
{
protected:
    CStandInLogs Logs;
};

std::wstring CurrentFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
}

std::wstring WithoutTrailingBackslash(std::wstring path)
{
    if (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}
} // namespace

TEST_F(LaunchProcessTest, QuoteArgumentEnclosesTheTextUnchanged)
{
    struct
    {
        const wchar_t* Text;
        const wchar_t* Quoted;
    } const cases[] = {
        {L"", L"\"\""},
        {L"C:\\Work\\report.zip", L"\"C:\\Work\\report.zip\""},
        {L"C:\\Work\\report\\", L"\"C:\\Work\\report\\\""}, // a trailing backslash is not doubled
        {L"say \"hi\"", L"\"say \"hi\"\""},                 // quotes inside are not escaped
        {L"\xD83D\xDE00", L"\"\xD83D\xDE00\""},
    };
    for (const auto& item : cases)
        EXPECT_EQ(CWideString(item.Quoted), QuoteArgument(CWideString(item.Text))) << item.Quoted;
}

TEST_F(LaunchProcessTest, ArchiverPathIsTheQuotedProgramBesideTheModule)
{
    const CWideString expected = CWideString(L"\"") + TestProgramFolder() + L"VNTXG.exe\"";
    EXPECT_EQ(expected, GetArchiverPath());
    CWidePathScope ansi(false);
    EXPECT_EQ(expected, GetArchiverPath());
}

TEST_F(LaunchProcessTest, ArchiverPathFollowsTheModuleFolder)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    CModuleInstanceScope kernel(GetModuleHandleW(L"kernel32.dll"));
    EXPECT_EQ(CWideString(L"\"") + system + L"\\VNTXG.exe\"", GetArchiverPath());
}

TEST_F(LaunchProcessTest, WithoutWaitOrEventTheCallReturnsWhileTheProgramRuns)
{
    CArchiverModeScope mode(L"slow:3000");
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, LaunchProcess(CWideString(QuotedStandIn(L"VNTXG.exe").c_str()), nullptr, false, nullptr));
    EXPECT_LT(ElapsedSince(start), 2500u);
    EXPECT_EQ(0u, Logs.Archiver().size());
    const auto records = Logs.WaitForArchiver(1);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"no list argument", records[0][L"Block"]);
}

TEST_F(LaunchProcessTest, WaitForExitOutlastsTheEndEvent)
{
    // The stand-in signals the event at once and lingers; only its exit ends the wait.
    CArchiverModeScope mode(L"stay:1500");
    CNamedEvent endEvent;
    ASSERT_EQ(0u, endEvent.Create(true, false, "VantorLaunchTestEvent"));
    const std::wstring commandLine = QuotedStandIn(L"VNTXG.exe") + L" x -ai#NoSuchMapping:2:VantorLaunchTestEvent";
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, LaunchProcess(CWideString(commandLine.c_str()), nullptr, true, &endEvent));
    EXPECT_GE(ElapsedSince(start), 1400u);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(endEvent.GetHandle(), 0));
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"opened", records[0][L"Event"]);
}

TEST_F(LaunchProcessTest, WorkingFolderIsPassedOrInherited)
{
    CScratchFolder work;
    const CWideString commandLine(QuotedStandIn(L"VNTXG.exe").c_str());
    for (bool wide : {true, false})
    {
        CWidePathScope path(wide);
        EXPECT_EQ(0u, LaunchProcess(commandLine, work.Path(), true, nullptr));
        EXPECT_EQ(0u, LaunchProcess(commandLine, nullptr, true, nullptr));
    }
    const auto records = Logs.Archiver();
    ASSERT_EQ(4u, records.size());
    for (int i = 0; i < 4; i += 2)
    {
        EXPECT_EQ(WithoutTrailingBackslash(work.Path().Ptr()), WithoutTrailingBackslash(records[i][L"Folder"]));
        EXPECT_EQ(CurrentFolder(), records[i + 1][L"Folder"]);
    }
}

TEST_F(LaunchProcessTest, CommandLineArrivesAsGivenOnTheWidePath)
{
    const std::wstring commandLine = QuotedStandIn(L"VNTXG.exe") + L" t \"C:\\\x03A9mega \x4E2D\\a.zip\"";
    EXPECT_EQ(0u, LaunchProcess(CWideString(commandLine.c_str()), nullptr, true, nullptr));
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(commandLine, records[0][L"CommandLine"]);
}

TEST_F(LaunchProcessTest, AnsiPathReplacesCharactersTheCodePageLacks)
{
    CWidePathScope ansi(false);
    // Windows-1252 has the e acute and the euro sign; it has no CJK, and no look-alike for it
    // (an omega would arrive as its best fit, "O", on Windows and Wine alike).
    const std::wstring commandLine =
        QuotedStandIn(L"VNTXG.exe") + L" t \"C:\\\x03A9 \x4E2D\x6587\\caf\x00E9 \x20AC.zip\"";
    const std::wstring arrives = QuotedStandIn(L"VNTXG.exe") + L" t \"C:\\O __\\caf\x00E9 \x20AC.zip\"";
    EXPECT_EQ(0u, LaunchProcess(CWideString(commandLine.c_str()), nullptr, true, nullptr));
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(arrives, records[0][L"CommandLine"]);
}

TEST_F(LaunchProcessTest, FailedStartReturnsTheSystemErrorAndLeavesNoHandle)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const CWideString missingProgram = CWideString(L"\"") + system + L"\\VNTXG.exe\" t";
    const CWideString missingFolder(L"\"C:\\no such folder\\VNTXG.exe\" t");
    for (bool wide : {true, false})
    {
        CWidePathScope path(wide);
        const long handlesBefore = CountOpenHandles();
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), LaunchProcess(missingProgram, nullptr, false, nullptr));
        const DWORD error = LaunchProcess(missingFolder, nullptr, false, nullptr);
        EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << error;
        EXPECT_EQ(handlesBefore, CountOpenHandles());
    }
}

TEST_F(LaunchProcessTest, ErrorBoxHasTheProductCaptionAndTheStopSign)
{
    CErrorBoxWatcher watcher;
    ShowErrorText(nullptr, CWideString(L"Something \x03A9 failed"));
    {
        CWidePathScope ansi(false);
        ShowLangError(nullptr, IDS_ERROR, 0x02000605); // no language file: the built-in string
    }
    const auto boxes = watcher.Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ(L"Something \x03A9 failed", boxes[0].Text);
    EXPECT_EQ(L"Error", boxes[1].Text);
    EXPECT_TRUE(boxes[0].StopIcon);
    EXPECT_TRUE(boxes[1].StopIcon);
}
