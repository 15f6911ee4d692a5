#include "ShellTestSupport.h"

#include "base/Module.h"
#include "lang/Language.h"
#include "launch/ArchiverCommands.h"
#include "launch/Launch.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <tuple>

// What reaches the stand-ins beside the test program (the module folder) that the end-to-end run cannot see.
namespace
{
// One record of a stand-in's log by key, absent ones empty; "Name" holds the Name= lines, each ended by "|".
using CRecord = std::map<std::wstring, std::wstring>;

// Default settings (all commands, cascaded); the stand-ins log into a scratch folder.
class LaunchTest : public CSettingsRegistryTest
{
protected:
    // The records so far; with `count`, first waits (20 s at most) until there are that many.
    std::vector<CRecord> Archiver(size_t count = 0) const { return Read(_archiverLog, count); }
    std::vector<CRecord> FileManager(size_t count = 0) const { return Read(_fileManagerLog, count); }
    static std::wstring ArchiverProgram() { return L"\"" + std::wstring(TestProgramFolder().Ptr()) + L"VNTXG.exe\""; }

    CScratchFolder Work;

private:
    static std::vector<CRecord> Read(const std::wstring& path, size_t count)
    {
        for (const DWORD start = GetTickCount();; Sleep(20))
        {
            std::vector<CRecord> records;
            std::ifstream file(std::string(path.begin(), path.end()), std::ios::binary); // an ASCII temporary path
            const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            std::wstring text(bytes.size(), L'\0');
            text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0],
                                            static_cast<int>(text.size())));
            // Whole lines only: a record may still be being written.
            for (size_t at = 0, end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
            {
                const std::wstring line = text.substr(at, end - at), key = line.substr(0, line.find(L'='));
                if (line.compare(0, 1, L"[") == 0)
                    records.emplace_back();
                else if (!records.empty() && key.size() < line.size())
                    records.back()[key] += line.substr(key.size() + 1) + (key == L"Name" ? L"|" : L"");
            }
            if (records.size() >= count || GetTickCount() - start > 20000)
                return records;
        }
    }

    CScratchFolder _logs;
    std::wstring _archiverLog = std::wstring(_logs.Path().Ptr()) + L"VNTXG.txt";
    std::wstring _fileManagerLog = std::wstring(_logs.Path().Ptr()) + L"VNTXFM.txt";
    CEnvironmentVariable _archiverVariable{L"VANTOR_ARCHIVER_LOG", _archiverLog.c_str()};
    CEnvironmentVariable _fileManagerVariable{L"VANTOR_FILEMANAGER_LOG", _fileManagerLog.c_str()};
};

// Every handle value probed: Wine's GetProcessHandleCount reports 0 whatever is open.
long CountOpenHandles()
{
    long open = 0;
    DWORD flags = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4)
        open += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return open;
}

// Cuts "VNTX<kind>Mapping<n>:<size>:VNTX<kind>MappingEndEvent<m>" to "<kind list>"; `parts` gets n, size, m.
std::wstring CutListArgument(const std::wstring& commandLine, std::wstring* parts = nullptr)
{
    const std::wregex pattern(L"VNTX(Extract|Compress)Mapping(0|[1-9][0-9]*):([0-9]+):"
                              L"VNTX\\1MappingEndEvent(0|[1-9][0-9]*)(?![0-9])");
    std::wsmatch match;
    if (!std::regex_search(commandLine, match, pattern))
        return commandLine;
    for (int i = 0; parts != nullptr && i < 3; i++)
        parts[i] = match[i + 2];
    return match.prefix().str() + L"<" + match[1].str() + L" list>" + match.suffix().str();
}

// A host's handler with the menu of Work\a.zip built, cascaded (12 ids) or flat (11).
struct CHandledArchive : CHostedHandler
{
    explicit CHandledArchive(CScratchFolder& work, bool flat = false)
    {
        if (flat)
            SetRaw(HKEY_CURRENT_USER, kSettingsRoot + L"\\Options", L"CascadedMenu", Dword(0));
        Select({work.AddFile(L"a.zip").Ptr()});
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, flat ? 11 : 12), BuildMenu());
    }
};

struct CNameList : COwningVector<CWideString>
{
    CNameList(const std::vector<std::wstring>& values)
    {
        for (const std::wstring& value : values)
            Add(CWideString(value.c_str()));
    }
};

// Extract ('x', `text` the output folder), test ('t') or compress ('a', `text` the archive name).
DWORD Launch(char operation, const CNameList& names, const wchar_t* text = L"", const wchar_t* type = L"",
             bool email = false, bool dialog = false, bool waitForExit = false)
{
    if (operation != 'a')
        return operation == 'x' ? ExtractArchives(names, CWideString(text), dialog) : TestArchives(names);
    return CompressFiles(CWideString(), CWideString(text), CWideString(type), names, email, dialog, waitForExit);
}

using CHandles = std::vector<std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)>>;

// Takes each prefix with the first `draws` numbers a launch seeding with the clock three seconds ahead draws
// (time enough to make the objects on a loaded machine).
const DWORD kHeldTicks = 500;
DWORD HoldComingTicks(int draws, const std::vector<std::pair<std::string, bool>>& prefixes, CHandles& held)
{
    const DWORD first = GetTickCount() + 3000;
    for (DWORD seed = first; seed < first + kHeldTicks; seed++)
    {
        srand(seed);
        for (int i = 0; i < draws; i++)
        {
            const std::string number = std::to_string(rand());
            for (const auto& prefix : prefixes)
                held.emplace_back(prefix.second ? CreateEventA(nullptr, TRUE, FALSE, (prefix.first + number).c_str())
                                                : CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                                     2, (prefix.first + number).c_str()),
                                  CloseHandle);
        }
    }
    while (GetTickCount() < first)
        Sleep(1);
    return first;
}
} // namespace

// Switches no end-to-end verb reaches; on Windows 98 the command line takes the ANSI code page, names never do.
TEST_F(LaunchTest, TheArchiverReceivesExactlyTheBuiltCommandLineAndNameList)
{
    const int kEmail = 1, kDialog = 2, kAnsi = 4 /* the Windows 98 path */, kNoNames = 8;
    // Operation, output folder or archive name, flags, LargePages (-1: unset), command line after the program.
    const std::tuple<char, const wchar_t*, int, int, const wchar_t*> cases[] = {
        // Windows-1252 has the e acute and the euro sign, no CJK and no omega (not even as "O").
        {'x', L"C:\\\x03A9 \x4E2D\x6587\\caf\x00E9 \x20AC", 0, -1,
         L" x -o\"C:\\\x03A9 \x4E2D\x6587\\caf\x00E9 \x20AC\" -slp- -an -ai#<Extract list>"},
        {'x', L"C:\\\x03A9 \x4E2D\x6587\\caf\x00E9 \x20AC", kAnsi, -1,
         L" x -o\"C:\\_ __\\caf\x00E9 \x20AC\" -slp- -an -ai#<Extract list>"},
        {'t', L"", kNoNames | kAnsi, -1, L" t -slp- -an -ai#<Extract list>"},
        {'a', L"Project", kEmail | kDialog | kAnsi, -1, L" a -i#<Compress list> -seml. -ad -slp- -- \"Project\""},
        {'x', L"", 0, 0, L" x -slp- -an -ai#<Extract list>"},
        {'x', L"C:\\Work\\*", 0, 7, L" x -o\"C:\\Work\\*\" -an -ai#<Extract list>"}, // any value but 0 is on
        {'a', L"", 0, 1, L" a -i#<Compress list> -- \"\""},
    };
    const std::vector<std::wstring> values = {L"C:\\Work\\report.zip", L"C:\\\xD83D\xDE00\\other.rar"};
    size_t launched = 0;
    for (const auto& [operation, text, flags, largePages, tail] : cases)
    {
        SCOPED_TRACE(tail);
        if (largePages >= 0)
            SetRaw(HKEY_CURRENT_USER, kSettingsRoot, L"LargePages", Dword(static_cast<DWORD>(largePages)));
        CWidePathScope path((flags & kAnsi) == 0);
        const bool names = (flags & kNoNames) == 0;
        EXPECT_EQ(0u, Launch(operation, CNameList(names ? values : std::vector<std::wstring>()), text, L"",
                             (flags & kEmail) != 0, (flags & kDialog) != 0));
        auto records = Archiver();
        ASSERT_EQ(++launched, records.size());
        EXPECT_EQ(ArchiverProgram() + tail, CutListArgument(records.back()[L"CommandLine"]));
        EXPECT_EQ(names ? L"C:\\Work\\report.zip|C:\\\xD83D\xDE00\\other.rar|" : L"", records.back()[L"Name"]);
    }
}

// By the names on the command line: exactly the block (a leading zero unit, then each name and its zero
// unit, UTF-16 as it is), and a manual-reset event, not signalled; other launches hold the first numbers.
TEST_F(LaunchTest, TheNamesOnTheCommandLineOpenThisLaunchsBlockAndEvent)
{
    const std::vector<std::wstring> lists[] = {{}, {L"C:\\a", L"C:\\bb"}, {L"\xD83D\xDE00", L"\x4E2D\\", L""}};
    const std::vector<BYTE> blocks[] = {
        {0, 0},
        {0, 0, 'C', 0, ':', 0, '\\', 0, 'a', 0, 0, 0, 'C', 0, ':', 0, '\\', 0, 'b', 0, 'b', 0, 0, 0},
        {0, 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0, 0x2D, 0x4E, '\\', 0, 0, 0, 0, 0}};
    // Another launch of the same tick holds the first number, so each list must take a later one.
    CHandles held;
    const DWORD first = HoldComingTicks(1, {{"VNTXExtractMapping", false}, {"VNTXExtractMappingEndEvent", true}}, held);
    CNamedFileMapping mappings[3];
    CNamedEvent events[3];
    CWideString commandLines[3] = {L"P -ai#", L"P -ai#", L"P -ai#"};
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(0u,
                  CreateNameListMapping(CNameList(lists[i]), L"VNTXExtract", mappings[i], events[i], commandLines[i]));
    ASSERT_LT(GetTickCount(), first + kHeldTicks) << "a launch of a tick whose first number was free";
    for (int i = 0; i < 3; i++)
    {
        std::wstring parts[3]; // the mapping's number, the size, the event's number
        ASSERT_EQ(L"P -ai#<Extract list>", CutListArgument(commandLines[i].Ptr(), parts));
        EXPECT_EQ(std::to_wstring(blocks[i].size()), parts[1]);
        HANDLE opened = OpenFileMappingW(FILE_MAP_READ, FALSE, (L"VNTXExtractMapping" + parts[0]).c_str());
        ASSERT_NE(nullptr, opened);
        const BYTE* view = static_cast<const BYTE*>(MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0));
        ASSERT_NE(nullptr, view);
        EXPECT_EQ(blocks[i], std::vector<BYTE>(view, view + blocks[i].size()));
        EXPECT_EQ(0, view[blocks[i].size()]);
        UnmapViewOfFile(view);
        CloseHandle(opened);
        HANDLE event = OpenEventW(EVENT_ALL_ACCESS, FALSE, (L"VNTXExtractMappingEndEvent" + parts[2]).c_str());
        ASSERT_NE(nullptr, event);
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
        SetEvent(event);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[i].GetHandle(), 0));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[i].GetHandle(), 0));
        CloseHandle(event);
    }
}

// Held by the other kind of object: fails at once; by the same kind: passed over up to the limit.
TEST_F(LaunchTest, ALaunchWhoseNamesAreAllTakenFailsAndStartsNothing)
{
    CHandles held;
    const std::tuple<const char*, bool, unsigned, char, DWORD> cases[] = {
        {"VNTXExtractMapping", true, kNameAttemptLimit, 't', 0x80004005},
        {"VNTXCompressMappingEndEvent", false, kNameAttemptLimit, 'a', ERROR_INVALID_HANDLE},
        {"VNTXExtractMapping", false, 2, 'x', 0x80004005},
        {"VNTXExtractMappingEndEvent", true, 2, 't', ERROR_ALREADY_EXISTS},
    };
    const CNameList names({L"C:\\a.zip"});
    const long handles = CountOpenHandles();
    for (const auto& [prefix, isEvent, attempts, operation, error] : cases)
    {
        SCOPED_TRACE(prefix);
        const unsigned saved = SetNameAttemptLimit(attempts);
        HoldComingTicks(2, {{prefix, isEvent}}, held);
        EXPECT_EQ(error, Launch(operation, names, L"a.zip"));
        SetNameAttemptLimit(saved);
        held.clear();
    }
    EXPECT_EQ(handles, CountOpenHandles());
    EXPECT_EQ(0u, Archiver().size());
}

TEST_F(LaunchTest, TheWaitForTheArchiverIsBounded)
{
    // Back once the list is taken or the archiver exits, or when the limit passes (the archiver holds the list).
    // Mode, limit, wait for the exit, elapsed at least and below, records on return (-1: either way), block.
    const std::tuple<const wchar_t*, DWORD, bool, DWORD, DWORD, int, const wchar_t*> cases[] = {
        {L"exit", kNameListWaitLimit, false, 0, 10000, 1, L""},             // exits without reading
        {L"slow:700", kNameListWaitLimit, false, 650, 10000, 1, L"exact"},  // reads slowly
        {L"stay:8000", kNameListWaitLimit, false, 0, 6000, 1, L"exact"},    // the event ends the wait...
        {L"stay:1500", kNameListWaitLimit, true, 1400, 10000, 1, L"exact"}, // ...unless the exit is awaited
        {L"slow:2500", 400, false, 350, 2400, 0, L"exact"},                 // slower than the limit
        {L"hang", 400, false, 350, 2400, -1, L""},                          // never reads
    };
    const CNameList names({L"C:\\late\\\xD83D\xDE00.zip", L"C:\\late\\b.rar"});
    long handles = -1; // counted after the first launch, which opens handles of the system's own
    for (size_t index = 0; index < std::size(cases); index++)
    {
        const auto& [mode, limit, waitForExit, atLeast, below, recordedOnReturn, block] = cases[index];
        SCOPED_TRACE(mode);
        CEnvironmentVariable variable(L"VANTOR_ARCHIVER_MODE", mode);
        const DWORD savedLimit = SetNameListWaitLimit(limit);
        const DWORD start = GetTickCount();
        EXPECT_EQ(0u, Launch('a', names, L"late.zip", L"zip", false, false, waitForExit));
        const DWORD elapsed = GetTickCount() - start;
        SetNameListWaitLimit(savedLimit);
        EXPECT_GE(elapsed, atLeast);
        EXPECT_LT(elapsed, below);
        handles = handles < 0 ? CountOpenHandles() : handles;
        EXPECT_EQ(handles, CountOpenHandles());
        EXPECT_TRUE(recordedOnReturn < 0 || index + recordedOnReturn == Archiver().size());
        auto records = Archiver(index + 1);
        ASSERT_EQ(index + 1, records.size());
        CRecord& record = records.back();
        EXPECT_EQ(mode, record[L"Mode"]);
        EXPECT_EQ(block, record[L"Block"]);
        const std::wstring list = record[L"Name"] + record[L"Event"];
        EXPECT_EQ(block[0] != 0 ? L"C:\\late\\\xD83D\xDE00.zip|C:\\late\\b.rar|opened" : list, list);
        // A stand-in still running is ended; one that exited logged no Pid, and process 0 cannot be opened.
        const CHandles::value_type process(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(L"0" + record[L"Pid"])), CloseHandle);
        TerminateProcess(process.get(), 9);
        WaitForSingleObject(process.get(), 10000);
    }
}

TEST_F(LaunchTest, ExhaustedMemoryDuringALaunchThrowsAndReleasesEverything)
{
    CEnvironmentVariable mode(L"VANTOR_ARCHIVER_MODE", L"exit");
    const CNameList names({L"C:\\Work\\a.zip", L"C:\\Work\\b.zip"});
    const auto compress = [&]
    { return CompressFiles(Work.Path(), CWideString(L"Work.zip"), CWideString(L"zip"), names, true, false, false); };
    // The first launch and the first exception open handles of the system's own for good.
    EXPECT_EQ(0u, compress());
    AllocHooks::FailNth(1);
    EXPECT_THROW(compress(), CNewException);
    AllocHooks::FailNth(0);
    const long handles = CountOpenHandles();
    DWORD result = 0;
    EXPECT_GT(ForEachAllocationFailure([&] { result = compress(); },
                                       [&](bool failed, bool threw)
                                       {
                                           EXPECT_EQ(failed, threw);
                                           EXPECT_TRUE(failed || result == 0);
                                       }),
              5);
    EXPECT_EQ(handles, CountOpenHandles());
    EXPECT_EQ(2u, Archiver(2).size());
}

TEST_F(LaunchTest, ACommandThatRanOutOfMemoryShowsTheErrorBoxInTheUsersLanguageAndGivesSOk)
{
    CEnvironmentVariable mode(L"VANTOR_ARCHIVER_MODE", L"exit");
    CHandledArchive handler(Work, true);
    const long before = AllocHooks::AllocationCount();
    ASSERT_EQ(S_OK, handler.Invoke("VantorTest", L"VantorCompressToZipEmail"));
    const long needed = AllocHooks::AllocationCount() - before;
    ASSERT_GT(needed, 3);
    // An error box takes seconds under Wine: the first, a middle and the last point (translated) stand.
    CDialogWatcher watcher(L"Vantor");
    for (long n : {1L, needed / 2, needed})
    {
        if (n == needed)
            g_LangTable.Entries.Add(0x02000605, L"Fehler \x00FC", 8);
        AllocHooks::FailNth(n);
        EXPECT_EQ(S_OK, handler.Invoke("VantorTest", L"VantorCompressToZipEmail")) << n;
        EXPECT_FALSE(AllocHooks::FailurePending()) << n;
        AllocHooks::FailNth(0);
    }
    g_LangTable.Clear();
    const auto boxes = watcher.Stop();
    ASSERT_EQ(3u, boxes.size());
    for (const auto& box : boxes)
        EXPECT_EQ(&box == &boxes.back() ? L"Fehler \x00FC stop" : L"Error stop",
                  box.Text + (box.StopIcon ? L" stop" : L""));
    EXPECT_EQ(1u, Archiver(1).size());
}

// Cascaded menu, a.zip: offset 0 is the submenu's own entry, offset 5 Test. The record must reach to
// the end of its ANSI verb field.
TEST_F(LaunchTest, OnlyTheMenusOwnVerbsAndOffsetsAreCarriedOut)
{
    const auto offset = [](UINT value) { return MAKEINTRESOURCEA(value); };
    const auto wideOffset = [](UINT value) { return reinterpret_cast<LPCWSTR>(MAKEINTRESOURCEA(value)); };
    const DWORD kPlain = sizeof(CMINVOKECOMMANDINFO), kExtended = sizeof(CMINVOKECOMMANDINFOEX),
                kVerbEnd = offsetof(CMINVOKECOMMANDINFO, lpVerb) + sizeof(LPCSTR);
    const std::tuple<DWORD, DWORD, LPCSTR, LPCWSTR, HRESULT> cases[] = {
        // Record size, mask, verb, wide verb; the cascaded menu's offset 0 is the submenu's own entry.
        {kPlain, 0, offset(0), nullptr, S_OK},
        {kExtended, CMIC_MASK_UNICODE, "VantorTest", L"Vantor", S_OK},
        {kPlain, 0, "Vantor", nullptr, S_OK},
        {kPlain, 0, offset(12), nullptr, E_FAIL},
        // Verbs are matched exactly, case included.
        {kExtended, CMIC_MASK_UNICODE, "VantorTest", L"VantorTest ", E_FAIL},
        {kPlain, 0, "VANTORTEST", nullptr, E_FAIL},
        {kVerbEnd - 1, 0, offset(0), nullptr, E_INVALIDARG},
        {kVerbEnd, 0, offset(0), nullptr, S_OK},
        // The wide verb counts only in the extended record with the mask, and there alone.
        {kExtended, 0, "vantortest", L"VantorTest", E_FAIL},
        {kPlain, CMIC_MASK_UNICODE, "vantortest", L"VantorTest", E_FAIL},
        {kExtended, CMIC_MASK_UNICODE, offset(5), wideOffset(12), E_FAIL},
        {kExtended, CMIC_MASK_UNICODE, "VantorTest", wideOffset(12), E_FAIL},
        {kExtended, CMIC_MASK_UNICODE, offset(12), wideOffset(5), S_OK}, // Test
    };
    CHandledArchive handler(Work);
    EXPECT_EQ(E_INVALIDARG, handler.Object().InvokeCommand(nullptr));
    for (const auto& item : cases)
        EXPECT_EQ(std::get<4>(item),
                  handler.Invoke(std::get<2>(item), std::get<3>(item), std::get<0>(item), std::get<1>(item)))
            << &item - cases;
    auto records = Archiver(1);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(ArchiverProgram() + L" t -slp- -an -ai#<Extract list>", CutListArgument(records[0][L"CommandLine"]));
    EXPECT_EQ(0u, FileManager().size());
}

#ifdef _WIN64
// With nothing in their low words they would read as offset 0 if the high half were cut off.
TEST_F(LaunchTest, VerbTextsAbove4GBAreTextsNotOffsets)
{
    CHandledArchive handler(Work);
    CHighMemory high(0x20000);
    ASSERT_NE(nullptr, high.Get());
    std::memcpy(high.Get(), "VantorTest", 11);
    std::memcpy(high.Get() + 0x10000, L"VantorExtractHere", 18 * sizeof(wchar_t));
    EXPECT_EQ(S_OK, handler.Invoke(reinterpret_cast<char*>(high.Get())));
    EXPECT_EQ(S_OK, handler.Invoke("Vantor", reinterpret_cast<wchar_t*>(high.Get() + 0x10000)));
    const auto records = Archiver(2);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(L't', CutListArgument(records[0].at(L"CommandLine"))[ArchiverProgram().size() + 1]);
    EXPECT_EQ(L'x', CutListArgument(records[1].at(L"CommandLine"))[ArchiverProgram().size() + 1]);
}
#endif

// Help texts a language file may give: outside the basic plane, and characters code page 1252 lacks.
TEST_F(LaunchTest, CommandStringsStayInTheCallersBufferAndCutNoCharacter)
{
    CHandledArchive handler(Work);
    handler.Object().CommandMap[2].HelpText = L"ab\xD83D\xDE00\x4E2D";
    handler.Object().CommandMap[3].HelpText = L"ab\x4E2D\x6587\x00E9";
    // A buffer of `size` units and a guard region that must come back untouched whatever the answer.
    const auto ask = [&](INT_PTR offset, UINT type, UINT size, std::wstring& text)
    {
        const size_t unit = (type & GCS_UNICODE) != 0 ? sizeof(wchar_t) : 1;
        std::vector<BYTE> buffer(size * unit + 32, 0xCD);
        const HRESULT result = handler.Object().GetCommandString(static_cast<UINT_PTR>(offset), type, nullptr,
                                                                 reinterpret_cast<LPSTR>(&buffer[0]), size);
        for (size_t i = size * unit; i < buffer.size(); i++)
            EXPECT_EQ(0xCD, buffer[i]) << "written past the buffer at byte " << i;
        text.clear();
        for (size_t i = 0; result == S_OK && size > 0 && (unit == 1 ? buffer[i] : buffer[i] | buffer[i + 1]); i += unit)
            text += static_cast<wchar_t>(unit == 1 ? buffer[i] : buffer[i] | buffer[i + 1] << 8); // 1252 below 0x80
        return result;
    };
    const std::tuple<INT_PTR, UINT, UINT, HRESULT, const wchar_t*> requests[] = {
        // offset, type, size, answer
        {0, GCS_VALIDATEW, 0, S_OK, L""},
        {11, GCS_VALIDATEA, 0, S_OK, L""},
        {12, GCS_VALIDATEW, 0, S_FALSE, L""},
#ifdef _WIN64
        // A 64-bit host's offset is compared whole, not cut to its low word.
        {static_cast<INT_PTR>(0x100000004), GCS_VALIDATEW, 0, S_FALSE, L""},
        {static_cast<INT_PTR>(0x100000004), GCS_VERBW, 64, E_FAIL, L""},
#endif
        // Outside the map; a request type not answered.
        {12, GCS_VERBA, 64, E_FAIL, L""},
        {1, 0x14 /* GCS_VERBICONW */, 64, E_FAIL, L""},
        // Small buffers ("VantorOpen" needs 11 units): a verb is refused (cut it names another), help is cut.
        {1, GCS_VERBW, 11, S_OK, L"VantorOpen"},
        {1, GCS_VERBA, 11, S_OK, L"VantorOpen"},
        {1, GCS_VERBW, 10, E_FAIL, L""},
        {1, GCS_VERBA, 10, E_FAIL, L""},
        {0, GCS_HELPTEXTW, 16, S_OK, L"Vantor commands"},
        {0, GCS_HELPTEXTW, 15, S_OK, L"Vantor command"},
        {0, GCS_HELPTEXTA, 5, S_OK, L"Vant"},
        {0, GCS_HELPTEXTA, 0, E_FAIL, L""},
        // No character is cut in half; what the code page lacks becomes "_".
        {2, GCS_HELPTEXTW, 5, S_OK, L"ab\xD83D\xDE00"},
        {2, GCS_HELPTEXTW, 4, S_OK, L"ab"},
        {3, GCS_HELPTEXTA, 64, S_OK, L"ab__\x00E9"},
        {3, GCS_HELPTEXTA, 4, S_OK, L"ab_"},
    };
    std::wstring answer;
    for (const auto& [at, type, size, result, text] : requests)
    {
        SCOPED_TRACE(testing::Message() << at << " type " << type << " size " << size);
        EXPECT_EQ(result, ask(at, type, size, answer));
        EXPECT_EQ(text, answer);
    }
    // No buffer at all; no memory for the ANSI conversion.
    EXPECT_EQ(E_FAIL, handler.Object().GetCommandString(1, GCS_VERBW, nullptr, nullptr, 64));
    EXPECT_EQ(E_FAIL, handler.Object().GetCommandString(1, GCS_HELPTEXTA, nullptr, nullptr, 64));
    AllocHooks::FailNth(1);
    EXPECT_EQ(E_OUTOFMEMORY, ask(1, GCS_HELPTEXTA, 64, answer));
    AllocHooks::FailNth(0);
}

// A module folder without the stand-ins, or an unknown one: nothing starts, no box, no handle stays; S_OK.
TEST_F(LaunchTest, WithoutTheProgramsBesideTheModuleNothingStarts)
{
    CHandledArchive handler(Work, true);
    CDialogWatcher watcher(L"Vantor");
    wchar_t current[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, current);
    ASSERT_TRUE(SetCurrentDirectoryW(TestProgramFolder()));
    const HINSTANCE module = g_ModuleInstance;
    long handles = -1;
    for (const HINSTANCE elsewhere : {GetModuleHandleW(L"kernel32.dll"), reinterpret_cast<HINSTANCE>(0x10)})
    {
        g_ModuleInstance = elsewhere;
        // Counted once the watcher's thread and the system's first failed start hold their own.
        EXPECT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(4))); // Test
        handles = handles < 0 ? (Sleep(100), CountOpenHandles()) : handles;
        for (UINT offset : {0, 5}) // Open, Compress
            EXPECT_EQ(S_OK, handler.Invoke(MAKEINTRESOURCEA(offset))) << offset;
        CWidePathScope ansi(false); // the Windows 98 start and module name
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Launch('x', CNameList({L"C:\\a.zip"})));
        g_ModuleInstance = module;
    }
    SetCurrentDirectoryW(current);
    EXPECT_EQ(handles, CountOpenHandles());
    Sleep(500);
    EXPECT_EQ(0u, watcher.Stop().size());
    EXPECT_EQ(0u, Archiver().size());
    EXPECT_EQ(0u, FileManager().size());
}

// The first name selected at the time of the call, or none; nobody waits for the file manager.
TEST_F(LaunchTest, OpenTakesTheFirstNameSelectedAtTheTimeOfTheCall)
{
    CHandledArchive handler(Work, true);
    const std::wstring second = Work.AddFile(L"b.rar").Ptr();
    handler.Select({second, L"C:\\a.zip"});
    EXPECT_EQ(S_OK, handler.Invoke("VantorOpen"));
    handler.Select({});
    EXPECT_EQ(S_OK, handler.Invoke("VantorOpen"));
    auto opened = FileManager(1);
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(L"\"" + std::wstring(TestProgramFolder().Ptr()) + L"VNTXFM.exe\" \"" + second + L"\"",
              opened[0][L"CommandLine"]);
    Sleep(300);
    EXPECT_EQ(1u, FileManager().size());
}
