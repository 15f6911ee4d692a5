#include "HandlerTestSupport.h"

#include "base/AllocHooks.h"
#include "server/Module.h"

#include <algorithm>

namespace
{
const DWORD kAllCommands = 0x3F37;

class InvokeCommandTest : public CModuleTest
{
protected:
    CStandInLogs Logs;
    CScratchFolder Work;
};

std::wstring Archiver()
{
    return QuotedStandIn(L"VNTXG.exe");
}

std::wstring WithoutTrailingBackslash(std::wstring path)
{
    if (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::wstring CurrentFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
}

// What the archiver must receive for each command of a flat menu for one archive, report.zip in
// the folder W: the command line with "<W>" for the folder and "<list>" for the list argument,
// and the folder it runs in ("<W>" or "<cwd>").
struct CExpectedLaunch
{
    const wchar_t* Verb;
    const wchar_t* Tail;
    const wchar_t* Folder;
};

const CExpectedLaunch kOneArchive[] = {
    {L"VantorExtract", L" x -o\"<W>report\\\" -ad -slp- -an -ai#<list>", L"<cwd>"},
    {L"VantorExtractHere", L" x -o\"<W>\" -slp- -an -ai#<list>", L"<cwd>"},
    {L"VantorExtractTo", L" x -o\"<W>report\" -slp- -an -ai#<list>", L"<cwd>"},
    {L"VantorTest", L" t -slp- -an -ai#<list>", L"<cwd>"},
    {L"VantorCompressToZip", L" a -i#<list> -tzip -slp- -- \"report.zip\"", L"<W>"},
    {L"VantorCompressToZipEmail", L" a -i#<list> -tzip -seml. -slp- -- \"report.zip\"", L"<cwd>"},
    {L"VantorCompressToVNTX", L" a -i#<list> -tVNTX -slp- -- \"report.VNTX\"", L"<W>"},
    {L"VantorCompressToVNTXEmail", L" a -i#<list> -tVNTX -seml. -slp- -- \"report.VNTX\"", L"<cwd>"},
    {L"VantorCompress", L" a -i#<list> -ad -slp- -- \"report\"", L"<W>"},
    {L"VantorCompressEmail", L" a -i#<list> -seml. -ad -slp- -- \"report\"", L"<cwd>"},
};

std::wstring Expand(std::wstring text, const std::wstring& work)
{
    for (size_t at; (at = text.find(L"<W>")) != std::wstring::npos;)
        text.replace(at, 3, work);
    if (text == L"<cwd>")
        return CurrentFolder();
    return text;
}
} // namespace

TEST_F(InvokeCommandTest, EveryCommandReachesTheArchiverByOffsetAndByVerb)
{
    CMenuSettingsScope settings(false, kAllCommands);
    const std::wstring archive = std::wstring(Work.AddFile(L"report.zip").Ptr());
    const std::wstring work(Work.Path().Ptr());
    CHandlerUnderTest handler;
    handler.Select({archive});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());
    const std::vector<std::wstring> verbs = handler.Verbs();
    ASSERT_EQ(11u, verbs.size());
    ASSERT_EQ(L"VantorOpen", verbs[0]);

    // Each command three times: by offset (36-byte record), by wide verb (64-byte record with
    // CMIC_MASK_UNICODE) and by ANSI verb (36-byte record).
    for (const CExpectedLaunch& expected : kOneArchive)
    {
        const auto found = std::find(verbs.begin(), verbs.end(), expected.Verb);
        ASSERT_NE(verbs.end(), found) << expected.Verb;
        EXPECT_EQ(S_OK, handler.InvokeByOffset(static_cast<UINT>(found - verbs.begin())));
        EXPECT_EQ(S_OK, handler.InvokeByWideVerb(expected.Verb));
        EXPECT_EQ(S_OK, handler.InvokeByAnsiVerb(std::string(found->begin(), found->end()).c_str()));
    }
    const auto records = Logs.Archiver();
    ASSERT_EQ(3 * std::size(kOneArchive), records.size());
    for (size_t i = 0; i < records.size(); i++)
    {
        const CExpectedLaunch& expected = kOneArchive[i / 3];
        const wchar_t* prefix = wcsstr(expected.Tail, L" a ") == expected.Tail ? L"VNTXCompress" : L"VNTXExtract";
        CListArgument list;
        EXPECT_EQ(Archiver() + Expand(expected.Tail, work), CutListArgument(records[i][L"CommandLine"], prefix, list))
            << expected.Verb;
        EXPECT_EQ(WithoutTrailingBackslash(Expand(expected.Folder, work)),
                  WithoutTrailingBackslash(records[i][L"Folder"]))
            << expected.Verb;
        EXPECT_EQ(std::vector<std::wstring>{archive}, records[i].Names) << expected.Verb;
        EXPECT_EQ(L"exact", records[i][L"Block"]) << expected.Verb;
    }
}

TEST_F(InvokeCommandTest, OpenStartsTheFileManagerOnTheFirstNameOnly)
{
    CMenuSettingsScope settings(false, kAllCommands);
    const std::wstring first = Work.AddFile(L"first archive.zip").Ptr();
    const std::wstring second = Work.AddFile(L"second.zip").Ptr();
    CHandlerUnderTest handler;
    handler.Select({first});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());
    EXPECT_EQ(S_OK, handler.InvokeByWideVerb(L"VantorOpen"));
    // A new selection after the menu was built: Open still opens one archive, the first.
    handler.Select({second, first});
    EXPECT_EQ(S_OK, handler.InvokeByOffset(0));
    // With no selection left there is nothing to open.
    handler.Select({});
    EXPECT_EQ(S_OK, handler.InvokeByAnsiVerb("VantorOpen"));

    // Nobody waits for the file manager: the two may record in either order.
    const auto records = Logs.WaitForFileManager(2);
    ASSERT_EQ(2u, records.size());
    std::vector<std::wstring> commandLines = {records[0][L"CommandLine"], records[1][L"CommandLine"]};
    std::sort(commandLines.begin(), commandLines.end());
    EXPECT_EQ((std::vector<std::wstring>{QuotedStandIn(L"VNTXFM.exe") + L" \"" + first + L"\"",
                                         QuotedStandIn(L"VNTXFM.exe") + L" \"" + second + L"\""}),
              commandLines);
    Sleep(300);
    EXPECT_EQ(2u, Logs.FileManager().size());
    EXPECT_EQ(0u, Logs.Archiver().size());
}

TEST_F(InvokeCommandTest, SeveralArchivesExtractEachIntoItsOwnFolder)
{
    CMenuSettingsScope settings(false, 0x4 | 0x1000); // ExtractTo, CompressToZip
    const std::wstring a = Work.AddFile(L"a.zip").Ptr();
    const std::wstring b = Work.AddFile(L"b.rar").Ptr();
    const std::wstring notes = Work.AddFile(L"notes.txt").Ptr();
    CHandlerUnderTest handler;
    handler.Select({a, notes, b});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), handler.BuildMenu());
    EXPECT_EQ(S_OK, handler.InvokeByWideVerb(L"VantorExtractTo"));
    EXPECT_EQ(S_OK, handler.InvokeByWideVerb(L"VantorCompressToZip"));

    const auto records = Logs.Archiver();
    ASSERT_EQ(2u, records.size());
    CListArgument list;
    const std::wstring work(Work.Path().Ptr());
    // The whole selection goes to the archiver, in order, archives or not.
    EXPECT_EQ(Archiver() + L" x -o\"" + work + L"*\" -slp- -an -ai#<list>",
              CutListArgument(records[0][L"CommandLine"], L"VNTXExtract", list));
    EXPECT_EQ((std::vector<std::wstring>{a, notes, b}), records[0].Names);
    // Several items are archived under the name of the folder holding them.
    const std::wstring folderName =
        WithoutTrailingBackslash(work).substr(WithoutTrailingBackslash(work).rfind(L'\\') + 1);
    EXPECT_EQ(Archiver() + L" a -i#<list> -tzip -slp- -- \"" + folderName + L".zip\"",
              CutListArgument(records[1][L"CommandLine"], L"VNTXCompress", list));
    EXPECT_EQ((std::vector<std::wstring>{a, notes, b}), records[1].Names);
}

TEST_F(InvokeCommandTest, CascadedSubmenuEntryDoesNothing)
{
    CMenuSettingsScope settings(true, kAllCommands);
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), handler.BuildMenu());
    EXPECT_EQ(L"Vantor", handler.Verbs()[0]);
    EXPECT_EQ(S_OK, handler.InvokeByOffset(0));
    EXPECT_EQ(S_OK, handler.InvokeByWideVerb(L"Vantor"));
    EXPECT_EQ(S_OK, handler.InvokeByAnsiVerb("Vantor"));
    EXPECT_EQ(0u, Logs.Archiver().size());
    // Offset 5 of the cascaded menu is the fifth command: Test.
    EXPECT_EQ(S_OK, handler.InvokeByOffset(5));
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    CListArgument list;
    EXPECT_EQ(Archiver() + L" t -slp- -an -ai#<list>",
              CutListArgument(records[0][L"CommandLine"], L"VNTXExtract", list));
    EXPECT_EQ(0u, Logs.FileManager().size());
}

TEST_F(InvokeCommandTest, UnknownOffsetsAndVerbsFail)
{
    CMenuSettingsScope settings(false, kAllCommands);
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());
    EXPECT_EQ(E_FAIL, handler.InvokeByOffset(11));
    EXPECT_EQ(E_FAIL, handler.InvokeByOffset(0xFFFF));
    // Verbs are matched exactly, case included.
    EXPECT_EQ(E_FAIL, handler.InvokeByWideVerb(L"vantortest"));
    EXPECT_EQ(E_FAIL, handler.InvokeByWideVerb(L"VantorTest "));
    EXPECT_EQ(E_FAIL, handler.InvokeByAnsiVerb("VANTORTEST"));
    EXPECT_EQ(E_FAIL, handler.InvokeByAnsiVerb("Test"));
    EXPECT_EQ(E_FAIL, handler.InvokeByAnsiVerb(""));
    EXPECT_EQ(E_INVALIDARG, handler.Menu()->InvokeCommand(nullptr));
    CMINVOKECOMMANDINFO tooSmall = {};
    tooSmall.cbSize = 8; // ends before the verb
    EXPECT_EQ(E_INVALIDARG, handler.Menu()->InvokeCommand(&tooSmall));

    // Without CMIC_MASK_UNICODE the extended record's ANSI verb counts; a wide verb that is an
    // offset leaves the choice to the low word of the ANSI field.
    CMINVOKECOMMANDINFOEX info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = "vantortest";
    info.lpVerbW = L"VantorTest";
    EXPECT_EQ(E_FAIL, handler.Menu()->InvokeCommand(reinterpret_cast<LPCMINVOKECOMMANDINFO>(&info)));
    info.fMask = CMIC_MASK_UNICODE;
    info.lpVerb = MAKEINTRESOURCEA(11);
    info.lpVerbW = reinterpret_cast<LPCWSTR>(MAKEINTRESOURCEA(4));
    EXPECT_EQ(E_FAIL, handler.Menu()->InvokeCommand(reinterpret_cast<LPCMINVOKECOMMANDINFO>(&info)));
    EXPECT_EQ(0u, Logs.Archiver().size());
    info.lpVerb = MAKEINTRESOURCEA(4); // Test
    EXPECT_EQ(S_OK, handler.Menu()->InvokeCommand(reinterpret_cast<LPCMINVOKECOMMANDINFO>(&info)));
    EXPECT_EQ(1u, Logs.Archiver().size());
}

TEST_F(InvokeCommandTest, WindowsNinetyEightPathMatchesAnsiVerbs)
{
    CWidePathScope ansi(false);
    CMenuSettingsScope settings(false, 0x2); // Extract Here
    const std::wstring archive = Work.AddFile(L"caf\x00E9.zip").Ptr();
    CHandlerUnderTest handler;
    handler.Select({archive});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), handler.BuildMenu());
    EXPECT_EQ(S_OK, handler.InvokeByAnsiVerb("VantorExtractHere"));
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    CListArgument list;
    EXPECT_EQ(Archiver() + L" x -o\"" + std::wstring(Work.Path().Ptr()) + L"\" -slp- -an -ai#<list>",
              CutListArgument(records[0][L"CommandLine"], L"VNTXExtract", list));
    EXPECT_EQ(std::vector<std::wstring>{archive}, records[0].Names);
}

TEST_F(InvokeCommandTest, MissingArchiverShowsNothingAndSucceeds)
{
    CMenuSettingsScope settings(false, kAllCommands);
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());
    CErrorBoxWatcher watcher;
    CModuleInstanceScope kernel(GetModuleHandleW(L"kernel32.dll"));
    // The count starts once the watcher's thread and the system's first failed start have
    // opened what they keep.
    EXPECT_EQ(S_OK, handler.InvokeByOffset(4));
    Sleep(100);
    const long handles = CountOpenHandles();
    for (UINT offset = 0; offset < 11; offset++)
        EXPECT_EQ(S_OK, handler.InvokeByOffset(offset)) << offset;
    EXPECT_EQ(handles, CountOpenHandles());
    Sleep(200);
    EXPECT_EQ(0u, watcher.Boxes().size());
}

TEST_F(InvokeCommandTest, ExhaustedMemoryShowsTheErrorBoxAndSucceeds)
{
    CMenuSettingsScope settings(false, kAllCommands);
    CArchiverModeScope mode(L"exit");
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());
    const long before = AllocHooks::AllocationCount();
    ASSERT_EQ(S_OK, handler.InvokeByWideVerb(L"VantorCompressToZipEmail"));
    const long needed = AllocHooks::AllocationCount() - before;
    ASSERT_GT(needed, 3);

    // Every allocation point fails the same way (the launcher tests go through all of them); an
    // error box takes seconds under Wine, so three points stand for the rest here: the copy of
    // the entry, one in the middle, the last before the start.
    CErrorBoxWatcher watcher;
    for (long n : {1L, needed / 2, needed})
    {
        AllocHooks::FailNth(n);
        EXPECT_EQ(S_OK, handler.InvokeByWideVerb(L"VantorCompressToZipEmail")) << n;
        EXPECT_FALSE(AllocHooks::FailurePending()) << n;
        AllocHooks::FailNth(0);
    }
    const auto boxes = watcher.Boxes();
    ASSERT_EQ(3u, boxes.size());
    for (const auto& box : boxes)
    {
        EXPECT_EQ(L"Error", box.Text);
        EXPECT_TRUE(box.StopIcon);
    }
    // Only the run that got every block it asked for started the archiver.
    EXPECT_EQ(1u, Logs.WaitForArchiver(1).size());
}

TEST_F(InvokeCommandTest, AThousandLaunchesLeaveNoHandleBehind)
{
    CMenuSettingsScope settings(false, 0x10); // Test only
    CArchiverModeScope mode(L"exit");
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), handler.BuildMenu());
    ASSERT_EQ(S_OK, handler.InvokeByOffset(0)); // the system's own first-launch handles
    const long handles = CountOpenHandles();
    for (int i = 0; i < 1000; i++)
        ASSERT_EQ(S_OK, handler.InvokeByOffset(0)) << i;
    EXPECT_EQ(handles, CountOpenHandles());
    EXPECT_EQ(1001u, Logs.WaitForArchiver(1001).size());
}
