#include "LaunchTestSupport.h"

#include "launch/ArchiverCommands.h"
#include "server/Module.h"

#include <algorithm>
#include <cstring>

namespace
{
const DWORD kAllCommands = 0x3F37;

class InvokeCommandTest : public CModuleTest
{
protected:
    CStandInLogs Logs;
    CScratchFolder Work;
};

std::wstring WithoutTrailingBackslash(std::wstring path)
{
    if (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::wstring Replace(std::wstring text, const wchar_t* what, const std::wstring& by)
{
    const size_t at = text.find(what);
    return at == std::wstring::npos ? text : text.replace(at, wcslen(what), by);
}
} // namespace

TEST_F(InvokeCommandTest, EveryCommandReachesTheArchiverByOffsetAndByVerb)
{
    // In menu order from offset 1: what the archiver receives for each command of a flat menu
    // for report.zip in the folder <W>.
    struct
    {
        const char* Verb;
        const wchar_t* Tail;
        bool InWork; // runs in <W>, else in the current folder
    } const cases[] = {
        {"VantorExtract", L" x -o\"<W>report\\\" -ad -slp- -an -ai#<Extract list>", false},
        {"VantorExtractHere", L" x -o\"<W>\" -slp- -an -ai#<Extract list>", false},
        {"VantorExtractTo", L" x -o\"<W>report\" -slp- -an -ai#<Extract list>", false},
        {"VantorTest", L" t -slp- -an -ai#<Extract list>", false},
        {"VantorCompressToZip", L" a -i#<Compress list> -tzip -slp- -- \"report.zip\"", true},
        {"VantorCompressToZipEmail", L" a -i#<Compress list> -tzip -seml. -slp- -- \"report.zip\"", false},
        {"VantorCompressToVNTX", L" a -i#<Compress list> -tVNTX -slp- -- \"report.VNTX\"", true},
        {"VantorCompressToVNTXEmail", L" a -i#<Compress list> -tVNTX -seml. -slp- -- \"report.VNTX\"", false},
        {"VantorCompress", L" a -i#<Compress list> -ad -slp- -- \"report\"", true},
        {"VantorCompressEmail", L" a -i#<Compress list> -seml. -ad -slp- -- \"report\"", false},
    };
    CProductSettings settings(false, kAllCommands);
    const std::wstring archive = Work.AddFile(L"report.zip").Ptr();
    wchar_t current[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    CHandlerUnderTest handler;
    handler.Select({archive});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());

    // Each command on the wide and on the Windows 98 path, three times: by offset and by ANSI
    // verb in the plain record, by wide verb in the extended one (another ANSI verb beside it).
    size_t count = 0;
    for (bool wide : {true, false})
        for (const auto& item : cases)
        {
            SCOPED_TRACE(std::string(item.Verb) + (wide ? " wide" : " ANSI"));
            CWidePathScope path(wide);
            const std::wstring verb(item.Verb, item.Verb + strlen(item.Verb));
            EXPECT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(&item - cases + 1)));
            EXPECT_EQ(S_OK, handler.Invoke(item.Verb));
            EXPECT_EQ(S_OK, handler.Invoke("VantorOpen", verb.c_str()));
            const auto records = Logs.Archiver();
            ASSERT_EQ(count += 3, records.size());
            for (size_t i = count - 3; i < count; i++)
            {
                EXPECT_EQ(QuotedStandIn(L"VNTXG.exe") + Replace(item.Tail, L"<W>", Work.Path().Ptr()),
                          CutListArgument(records[i][L"CommandLine"]));
                EXPECT_EQ(item.InWork ? WithoutTrailingBackslash(Work.Path().Ptr()) : current, records[i][L"Folder"]);
                EXPECT_EQ(std::vector<std::wstring>{archive}, records[i].Names);
                EXPECT_EQ(L"exact", records[i][L"Block"]);
            }
        }
    EXPECT_EQ(0u, Logs.FileManager().size());
}

TEST_F(InvokeCommandTest, OpenTakesTheFirstNameTheArchiverTakesThemAll)
{
    CProductSettings settings(false, kAllCommands);
    const std::vector<std::wstring> names = {Work.AddFile(L"first archive.zip").Ptr(), Work.AddFile(L"notes.txt").Ptr(),
                                             Work.AddFile(L"b.rar").Ptr()};
    CHandlerUnderTest handler;
    handler.Select(names);
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 10), handler.BuildMenu()); // no Open for several
    EXPECT_EQ(S_OK, handler.Invoke("VantorTest", L"VantorExtractTo"));
    EXPECT_EQ(S_OK, handler.Invoke("VantorTest", L"VantorCompressToZip"));
    handler.Select({names[0]});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());
    EXPECT_EQ(S_OK, handler.Invoke("VantorTest", L"VantorOpen"));
    // A new selection after the menu was built: Open still opens one name, the first; with no
    // selection left there is nothing to open.
    handler.Select({names[2], names[0]});
    EXPECT_EQ(S_OK, handler.Invoke("VantorOpen"));
    handler.Select({});
    EXPECT_EQ(S_OK, handler.Invoke("VantorOpen"));

    // Each archive into its own folder; several items archived under the name of their folder.
    const auto records = Logs.Archiver();
    ASSERT_EQ(2u, records.size());
    const std::wstring work = WithoutTrailingBackslash(Work.Path().Ptr());
    EXPECT_EQ(QuotedStandIn(L"VNTXG.exe") + L" x -o\"" + work + L"\\*\" -slp- -an -ai#<Extract list>",
              CutListArgument(records[0][L"CommandLine"]));
    EXPECT_EQ(QuotedStandIn(L"VNTXG.exe") + L" a -i#<Compress list> -tzip -slp- -- \"" +
                  work.substr(work.rfind(L'\\') + 1) + L".zip\"",
              CutListArgument(records[1][L"CommandLine"]));
    EXPECT_EQ(names, records[0].Names);
    EXPECT_EQ(names, records[1].Names);
    // Nobody waits for the file manager: the two may record in either order.
    const auto opened = Logs.FileManager(2);
    ASSERT_EQ(2u, opened.size());
    std::vector<std::wstring> commandLines = {opened[0][L"CommandLine"], opened[1][L"CommandLine"]};
    std::sort(commandLines.begin(), commandLines.end());
    EXPECT_EQ((std::vector<std::wstring>{QuotedStandIn(L"VNTXFM.exe") + L" \"" + names[2] + L"\"",
                                         QuotedStandIn(L"VNTXFM.exe") + L" \"" + names[0] + L"\""}),
              commandLines);
    Sleep(300);
    EXPECT_EQ(2u, Logs.FileManager().size());
}

TEST_F(InvokeCommandTest, SubmenuEntryDoesNothingUnknownOffsetsVerbsAndShortRecordsFail)
{
    const auto offset = [](UINT value) { return MAKEINTRESOURCEA(value); };
    const LPCWSTR wideOffset5 = reinterpret_cast<LPCWSTR>(MAKEINTRESOURCEA(5));
    const LPCWSTR wideOffset12 = reinterpret_cast<LPCWSTR>(MAKEINTRESOURCEA(12));
    const DWORD kPlain = sizeof(CMINVOKECOMMANDINFO);
    const DWORD kExtended = sizeof(CMINVOKECOMMANDINFOEX);
    struct
    {
        DWORD Size, Mask;
        LPCSTR Verb;
        LPCWSTR VerbW;
        HRESULT Result;
    } const cases[] = {
        // The cascaded menu's offset 0 is the submenu's own entry.
        {kPlain, 0, offset(0), nullptr, S_OK},
        {kExtended, CMIC_MASK_UNICODE, "VantorTest", L"Vantor", S_OK},
        {kPlain, 0, "Vantor", nullptr, S_OK},
        {kPlain, 0, offset(12), nullptr, E_FAIL},
        {kPlain, 0, offset(0xFFFF), nullptr, E_FAIL},
        // Verbs are matched exactly, case included.
        {kExtended, CMIC_MASK_UNICODE, "VantorTest", L"vantortest", E_FAIL},
        {kExtended, CMIC_MASK_UNICODE, "VantorTest", L"VantorTest ", E_FAIL},
        {kPlain, 0, "VANTORTEST", nullptr, E_FAIL},
        {kPlain, 0, "Test", nullptr, E_FAIL},
        {kPlain, 0, "", nullptr, E_FAIL},
        {8, 0, "VantorTest", nullptr, E_INVALIDARG}, // ends before the verb
        // The wide verb only counts in the extended record with the mask; there it decides alone,
        // also as an offset beside an ANSI field that holds another offset or a text.
        {kExtended, 0, "vantortest", L"VantorTest", E_FAIL},
        {kPlain, CMIC_MASK_UNICODE, "vantortest", L"VantorTest", E_FAIL},
        {kExtended, CMIC_MASK_UNICODE, offset(5), wideOffset12, E_FAIL},
        {kExtended, CMIC_MASK_UNICODE, "VantorTest", wideOffset12, E_FAIL},
        {kExtended, CMIC_MASK_UNICODE, offset(12), wideOffset5, S_OK}, // Test
    };
    CProductSettings settings(true, kAllCommands);
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), handler.BuildMenu());
    EXPECT_EQ(E_INVALIDARG, handler.Object().InvokeCommand(nullptr));
    for (const auto& item : cases)
        EXPECT_EQ(item.Result, handler.Invoke(item.Verb, item.VerbW, item.Size, item.Mask)) << &item - cases;
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(QuotedStandIn(L"VNTXG.exe") + L" t -slp- -an -ai#<Extract list>",
              CutListArgument(records[0][L"CommandLine"]));
    EXPECT_EQ(0u, Logs.FileManager().size());
}

TEST_F(InvokeCommandTest, MissingProgramsStartNothingShowNothingLeakNothing)
{
    CProductSettings settings(false, kAllCommands);
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());
    CErrorBoxWatcher watcher;
    // The module folder is the system folder, which holds neither program.
    const HINSTANCE module = g_ModuleInstance;
    g_ModuleInstance = GetModuleHandleW(L"kernel32.dll");
    // The count starts once the watcher's thread and the system's first failed start have
    // opened what they keep.
    EXPECT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(4)));
    Sleep(100);
    const long handles = CountOpenHandles();
    const CNameList names({L"C:\\a.zip"});
    for (bool wide : {true, false})
    {
        CWidePathScope path(wide);
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ExtractArchives(names, CWideString(), false));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), TestArchives(names));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
                  CompressFiles(CWideString(), CWideString(L"a"), CWideString(), names, false, true, false));
        // The shell learns nothing of it: Open, Extract, Test, Compress.
        for (UINT offset : {0, 1, 4, 5})
            EXPECT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(offset))) << offset;
    }
    EXPECT_EQ(handles, CountOpenHandles());
    g_ModuleInstance = module;
    Sleep(200);
    EXPECT_EQ(0u, watcher.Stop().size());
}

TEST_F(InvokeCommandTest, WithoutTheModuleFolderNoProgramIsTakenFromTheCurrentFolder)
{
    // The module's own folder cannot be found; the host's current folder holds programs of our
    // names (the stand-ins). Neither "Open archive" nor the archiver commands start anything.
    CProductSettings settings(false, kAllCommands);
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());
    wchar_t current[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, current);
    ASSERT_TRUE(SetCurrentDirectoryW(TestProgramFolder()));
    const HINSTANCE module = g_ModuleInstance;
    g_ModuleInstance = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(0x10)); // no module there
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), TestArchives(CNameList({L"C:\\a.zip"})));
    for (UINT offset : {0, 4}) // Open, Test
        EXPECT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(offset))) << offset;
    g_ModuleInstance = module;
    SetCurrentDirectoryW(current);
    Sleep(500);
    EXPECT_EQ(0u, Logs.Archiver().size());
    EXPECT_EQ(0u, Logs.FileManager().size());
}

TEST_F(InvokeCommandTest, ExhaustedMemoryShowsTheErrorBoxAndSucceeds)
{
    CProductSettings settings(false, kAllCommands);
    CArchiverMode mode(L"exit");
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 11), handler.BuildMenu());
    const long before = AllocHooks::AllocationCount();
    ASSERT_EQ(S_OK, handler.Invoke("VantorTest", L"VantorCompressToZipEmail"));
    const long needed = AllocHooks::AllocationCount() - before;
    ASSERT_GT(needed, 3);

    // Every allocation point fails the same way (the launcher tests go through all of them); an
    // error box takes seconds under Wine, so three points stand for the rest here: the copy of
    // the entry, one in the middle, the last before the start.
    CErrorBoxWatcher watcher;
    for (long n : {1L, needed / 2, needed})
    {
        AllocHooks::FailNth(n);
        EXPECT_EQ(S_OK, handler.Invoke("VantorTest", L"VantorCompressToZipEmail")) << n;
        EXPECT_FALSE(AllocHooks::FailurePending()) << n;
        AllocHooks::FailNth(0);
    }
    const auto boxes = watcher.Stop();
    ASSERT_EQ(3u, boxes.size());
    for (const auto& box : boxes)
    {
        EXPECT_EQ(L"Error", box.first);
        EXPECT_TRUE(box.second);
    }
    // Only the run that got every block it asked for started the archiver.
    EXPECT_EQ(1u, Logs.Archiver(1).size());
}

TEST_F(InvokeCommandTest, AThousandLaunchesLeaveNoHandleBehind)
{
    CProductSettings settings(false, 0x10); // Test only
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), handler.BuildMenu());
    ASSERT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(0))); // the system's own first-launch handles
    const long handles = CountOpenHandles();
    for (int i = 0; i < 1000; i++)
        ASSERT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(0))) << i;
    EXPECT_EQ(handles, CountOpenHandles());
    EXPECT_EQ(1001u, Logs.Archiver(1001).size());
}

#ifdef _WIN64
TEST_F(InvokeCommandTest, VerbsAndOffsetsAboveFourGigabytesAreNeverCutTo32Bits)
{
    // A 64-bit host may pass verb texts above 4 GB whose address has nothing in its low words:
    // they are texts all the same, never the offset of the low word. An offset the host passes
    // to GetCommandString is compared whole.
    CHighMemory high(0x20000);
    ASSERT_NE(nullptr, high.Get());
    char* ansiVerb = reinterpret_cast<char*>(high.Get());
    std::memcpy(ansiVerb, "VantorTest", 11);
    wchar_t* wideVerb = reinterpret_cast<wchar_t*>(high.Get() + 0x10000);
    std::memcpy(wideVerb, L"VantorExtractHere", 18 * sizeof(wchar_t));
    CProductSettings settings(true, kAllCommands);
    CHandlerUnderTest handler;
    handler.Select({Work.AddFile(L"a.zip").Ptr()});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), handler.BuildMenu());
    EXPECT_EQ(S_OK, handler.Invoke(ansiVerb));
    EXPECT_EQ(S_OK, handler.Invoke("Vantor", wideVerb));
    const auto records = Logs.Archiver(2);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(QuotedStandIn(L"VNTXG.exe") + L" t -slp- -an -ai#<Extract list>",
              CutListArgument(records[0][L"CommandLine"]));
    EXPECT_EQ(L'x', CutListArgument(records[1][L"CommandLine"])[QuotedStandIn(L"VNTXG.exe").size() + 1]);

    const UINT_PTR aboveFourGigabytes = (static_cast<UINT_PTR>(1) << 32) + 4;
    wchar_t text[64] = {};
    EXPECT_EQ(S_FALSE, handler.Object().GetCommandString(aboveFourGigabytes, GCS_VALIDATEW, nullptr, nullptr, 0));
    EXPECT_EQ(E_FAIL, handler.Object().GetCommandString(aboveFourGigabytes, GCS_VERBW, nullptr,
                                                        reinterpret_cast<LPSTR>(text), 64));
    EXPECT_EQ(L"", std::wstring(text));
}
#endif
