#include "LaunchTestSupport.h"

#include "launch/ArchiverCommands.h"
#include "launch/Launch.h"
#include "server/Module.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace
{
class ArchiverCommandsTest : public CModuleTest
{
protected:
    CStandInLogs Logs;
};

// Extract ('x', `text` the output folder), test ('t') or compress ('a', `text` the archive name).
DWORD Launch(char operation, const CNameList& names, const wchar_t* text = L"", const wchar_t* type = L"",
             bool email = false, bool dialog = false, bool waitForExit = false)
{
    if (operation == 'x')
        return ExtractArchives(names, CWideString(text), dialog);
    if (operation == 't')
        return TestArchives(names);
    return CompressFiles(CWideString(), CWideString(text), CWideString(type), names, email, dialog, waitForExit);
}

// The first numbers srand(seed) gives.
std::vector<int> Draws(unsigned seed, int count)
{
    srand(seed);
    std::vector<int> numbers;
    for (int i = 0; i < count; i++)
        numbers.push_back(rand());
    return numbers;
}

} // namespace

TEST_F(ArchiverCommandsTest, CommandLinesAndListsAsTheArchiverReceivesThem)
{
    enum
    {
        kEmail = 1,
        kDialog = 2,
        kAnsi = 4, // the Windows 98 path
        kNoNames = 8,
    };
    struct
    {
        char Operation;
        const wchar_t* Text; // output folder or archive name
        const wchar_t* Type;
        int Flags;
        int LargePages; // -1: no value
        const wchar_t* Tail;
    } const cases[] = {
        {'x', L"C:\\Work\\report", L"", 0, -1, L" x -o\"C:\\Work\\report\" -slp- -an -ai#<Extract list>"},
        {'x', L"C:\\Work\\report\\", L"", kDialog, 0, L" x -o\"C:\\Work\\report\\\" -ad -slp- -an -ai#<Extract list>"},
        {'x', L"", L"", 0, 0, L" x -slp- -an -ai#<Extract list>"},
        {'x', L"", L"", kDialog, 1, L" x -ad -an -ai#<Extract list>"},
        {'x', L"C:\\Work\\*", L"", 0, 7, L" x -o\"C:\\Work\\*\" -an -ai#<Extract list>"}, // several archives
        // The command line goes through the ANSI code page on Windows 98, the names never do:
        // Windows-1252 has the e acute and the euro sign, no CJK and no omega (not even as "O").
        {'x', L"C:\\\x03A9 \x4E2D\x6587\\caf\x00E9 \x20AC", L"", 0, -1,
         L" x -o\"C:\\\x03A9 \x4E2D\x6587\\caf\x00E9 \x20AC\" -slp- -an -ai#<Extract list>"},
        {'x', L"C:\\\x03A9 \x4E2D\x6587\\caf\x00E9 \x20AC", L"", kAnsi, -1,
         L" x -o\"C:\\_ __\\caf\x00E9 \x20AC\" -slp- -an -ai#<Extract list>"},
        {'t', L"", L"", 0, -1, L" t -slp- -an -ai#<Extract list>"},
        {'t', L"", L"", 0, 1, L" t -an -ai#<Extract list>"},
        {'t', L"", L"", kNoNames | kAnsi, -1, L" t -slp- -an -ai#<Extract list>"},
        {'a', L"Project.zip", L"zip", kEmail, -1, L" a -i#<Compress list> -tzip -seml. -slp- -- \"Project.zip\""},
        {'a', L"Project.VNTX", L"VNTX", 0, 0, L" a -i#<Compress list> -tVNTX -slp- -- \"Project.VNTX\""},
        {'a', L"Project", L"", kDialog, 1, L" a -i#<Compress list> -ad -- \"Project\""},
        {'a', L"Project", L"", kEmail | kDialog | kAnsi, -1, L" a -i#<Compress list> -seml. -ad -slp- -- \"Project\""},
        {'a', L"", L"", 0, 1, L" a -i#<Compress list> -- \"\""},
    };
    CProductSettings settings(false, 0);
    for (const auto& item : cases)
    {
        SCOPED_TRACE(item.Tail);
        settings.LargePages(item.LargePages);
        CWidePathScope path((item.Flags & kAnsi) == 0);
        const std::vector<std::wstring> values =
            (item.Flags & kNoNames)
                ? std::vector<std::wstring>()
                : std::vector<std::wstring>{L"C:\\Work\\report.zip", L"C:\\\xD83D\xDE00\\other.rar"};
        EXPECT_EQ(0u, Launch(item.Operation, CNameList(values), item.Text, item.Type, (item.Flags & kEmail) != 0,
                             (item.Flags & kDialog) != 0));
        const auto records = Logs.Archiver();
        ASSERT_EQ(static_cast<size_t>(&item - cases + 1), records.size());
        std::wstring size;
        EXPECT_EQ(QuotedStandIn(L"VNTXG.exe") + item.Tail, CutListArgument(records.back()[L"CommandLine"], &size));
        // 2 + 2 * (18 + 1) + 2 * (15 + 1) bytes, or the leading zero unit alone.
        EXPECT_EQ(values.empty() ? L"2" : L"72", size);
        EXPECT_EQ(values, records.back().Names);
        EXPECT_EQ(L"exact", records.back()[L"Block"]);
        EXPECT_EQ(L"opened", records.back()[L"Event"]);
    }
}

TEST_F(ArchiverCommandsTest, ListsOfTheSameTickTakeTheNextNumberAndHoldTheirNamesExactly)
{
    // Each name with its zero unit after a leading zero unit; UTF-16 as it is, surrogates included.
    const std::vector<std::wstring> lists[] = {{}, {L"C:\\a", L"C:\\bb"}, {L"\xD83D\xDE00", L"\x4E2D\\", L""}};
    const std::vector<BYTE> blocks[] = {
        {0, 0},
        {0, 0, 'C', 0, ':', 0, '\\', 0, 'a', 0, 0, 0, 'C', 0, ':', 0, '\\', 0, 'b', 0, 'b', 0, 0, 0},
        {0, 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0, 0x2D, 0x4E, '\\', 0, 0, 0, 0, 0}};
    // Another launch of the same tick holds the first number of every tick of the next seconds, so
    // each list finds its first draw taken and must take a later one, however slow the system is.
    const DWORD first = GetTickCount();
    std::vector<HANDLE> held;
    for (DWORD seed = first; seed < first + 3000; seed++)
    {
        const std::string number = std::to_string(Draws(seed, 1)[0]);
        held.push_back(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 2,
                                          ("VNTXExtractMapping" + number).c_str()));
        held.push_back(CreateEventA(nullptr, TRUE, FALSE, ("VNTXExtractMappingEndEvent" + number).c_str()));
    }
    CNamedFileMapping mappings[3];
    CNamedEvent events[3];
    CWideString commandLines[3] = {L"P -ai#", L"P -ai#", L"P -ai#"};
    const DWORD start = GetTickCount();
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(0u, CreateNameListMapping(CNameList(lists[i]), L"VNTXExtract", mappings[i], events[i],
                                            commandLines[i]));
    const DWORD end = GetTickCount();
    ASSERT_LT(end, first + 3000);
    for (int i = 0; i < 3; i++)
    {
        const std::string line(commandLines[i].Ptr(), commandLines[i].Ptr() + commandLines[i].Length());
        // "P -ai#VNTXExtractMapping<n>:<size>:VNTXExtractMappingEndEvent<m>"; n and m are drawn apart.
        int number = -1, eventNumber = -1;
        char size[16] = {};
        ASSERT_EQ(3, std::sscanf(line.c_str(), "P -ai#VNTXExtractMapping%d:%15[0-9]:VNTXExtractMappingEndEvent%d",
                                 &number, size, &eventNumber))
            << line;
        const std::string name = std::to_string(number), eventName = std::to_string(eventNumber);
        EXPECT_EQ("P -ai#VNTXExtractMapping" + name + ":" + std::to_string(blocks[i].size()) +
                      ":VNTXExtractMappingEndEvent" + eventName,
                  line);
        EXPECT_EQ(blocks[i].size(), NameListBlockSize(CNameList(lists[i])));
        // Later draws of seeds of the time the list was made.
        for (int drawn : {number, eventNumber})
        {
            bool drawnAgain = false;
            for (DWORD seed = start; seed <= end && !drawnAgain; seed++)
            {
                const std::vector<int> draws = Draws(seed, 4);
                drawnAgain = std::find(draws.begin() + 1, draws.end(), drawn) != draws.end();
            }
            EXPECT_TRUE(drawnAgain) << line;
        }
        // Reachable by the name on the command line, holding exactly the block.
        HANDLE opened = OpenFileMappingA(FILE_MAP_READ, FALSE, ("VNTXExtractMapping" + name).c_str());
        ASSERT_NE(nullptr, opened);
        const BYTE* view = static_cast<const BYTE*>(MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0));
        ASSERT_NE(nullptr, view);
        EXPECT_EQ(blocks[i], std::vector<BYTE>(view, view + blocks[i].size()));
        EXPECT_EQ(0, view[blocks[i].size()]);
        UnmapViewOfFile(view);
        CloseHandle(opened);
        // A manual-reset event, not signalled, under the name on the command line.
        HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, ("VNTXExtractMappingEndEvent" + eventName).c_str());
        ASSERT_NE(nullptr, event);
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
        SetEvent(event);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[i].GetHandle(), 0));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[i].GetHandle(), 0));
        CloseHandle(event);
    }
    for (HANDLE handle : held)
        CloseHandle(handle);
}

TEST_F(ArchiverCommandsTest, TakenNamesFailTheLaunchAfterBoundedAttempts)
{
    // A name held by an object of the other kind cannot be had at all; one held by an object of
    // the same kind is skipped, for as many draws as the limit allows, not forever. Either way
    // the launch gives up without starting the archiver and closes what it had created.
    EXPECT_EQ(4u * (RAND_MAX + 1u), kNameAttemptLimit);
    struct
    {
        const char* Held;
        bool HeldIsEvent;
        unsigned Attempts;
        char Operation;
        DWORD Error;
    } const cases[] = {
        {"VNTXExtractMapping", true, kNameAttemptLimit, 't', 0x80004005},
        {"VNTXCompressMappingEndEvent", false, kNameAttemptLimit, 'a', ERROR_INVALID_HANDLE},
        {"VNTXExtractMapping", false, 2, 'x', 0x80004005},
        {"VNTXExtractMappingEndEvent", true, 2, 't', ERROR_ALREADY_EXISTS},
    };
    const CNameList names({L"C:\\a.zip"});
    const long handles = CountOpenHandles();
    for (const auto& item : cases)
    {
        SCOPED_TRACE(item.Held);
        const unsigned saved = SetNameAttemptLimit(item.Attempts);
        std::vector<HANDLE> held;
        // Every tick up to one well ahead of the clock, so that the launch right after seeds with
        // one of them, however long taking the names took.
        for (DWORD seed = GetTickCount(); seed < GetTickCount() + 500; seed++)
            for (int number : Draws(seed, 2))
            {
                const std::string name = item.Held + std::to_string(number);
                held.push_back(item.HeldIsEvent ? CreateEventA(nullptr, TRUE, FALSE, name.c_str())
                                                : CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                                     2, name.c_str()));
            }
        EXPECT_EQ(item.Error, Launch(item.Operation, names, L"a.zip"));
        for (HANDLE handle : held)
            CloseHandle(handle);
        SetNameAttemptLimit(saved);
    }
    EXPECT_EQ(handles, CountOpenHandles());
    EXPECT_EQ(0u, Logs.Archiver().size());
}

TEST_F(ArchiverCommandsTest, TheWaitForTheArchiverIsBounded)
{
    // The thread comes back when the archiver has taken its list or exited, at the latest when
    // the limit passes; after that the list outlives our handles, as the archiver holds it too.
    struct
    {
        const wchar_t* Mode;
        DWORD Limit;
        bool WaitForExit;
        DWORD AtLeast, Below;
        int RecordedOnReturn; // -1: either way
        const wchar_t* Block;
    } const cases[] = {
        {L"exit", kNameListWaitLimit, false, 0, 10000, 1, L"<absent>"},     // exits without reading
        {L"slow:700", kNameListWaitLimit, false, 650, 10000, 1, L"exact"},  // reads slowly
        {L"stay:8000", kNameListWaitLimit, false, 0, 6000, 1, L"exact"},    // the event ends the wait...
        {L"stay:1500", kNameListWaitLimit, true, 1400, 10000, 1, L"exact"}, // ...unless the exit is awaited
        {L"slow:2500", 400, false, 350, 2400, 0, L"exact"},                 // slower than the limit
        {L"hang", 400, false, 350, 2400, -1, L"<absent>"},                  // never reads
    };
    const std::vector<std::wstring> values = {L"C:\\late\\\xD83D\xDE00.zip", L"C:\\late\\b.rar"};
    const CNameList names(values);
    long handles = -1; // counted after the first launch, which opens handles of the system's own
    for (const auto& item : cases)
    {
        SCOPED_TRACE(item.Mode);
        const size_t index = &item - cases;
        CArchiverMode mode(item.Mode);
        const DWORD savedLimit = SetNameListWaitLimit(item.Limit);
        const DWORD start = GetTickCount();
        EXPECT_EQ(0u, Launch('a', names, L"late.zip", L"zip", false, false, item.WaitForExit));
        const DWORD elapsed = GetTickCount() - start;
        SetNameListWaitLimit(savedLimit);
        EXPECT_GE(elapsed, item.AtLeast);
        EXPECT_LT(elapsed, item.Below);
        handles = handles < 0 ? CountOpenHandles() : handles;
        EXPECT_EQ(handles, CountOpenHandles());
        if (item.RecordedOnReturn >= 0)
        {
            EXPECT_EQ(index + item.RecordedOnReturn, Logs.Archiver().size());
        }
        const auto records = Logs.Archiver(index + 1);
        ASSERT_EQ(index + 1, records.size());
        EXPECT_EQ(item.Mode, records.back()[L"Mode"]);
        EXPECT_EQ(item.Block, records.back()[L"Block"]);
        if (records.back()[L"Block"] == L"exact")
        {
            EXPECT_EQ(values, records.back().Names);
            EXPECT_EQ(L"opened", records.back()[L"Event"]);
        }
        if (records.back()[L"Pid"] != L"<absent>")
        {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(records.back()[L"Pid"]));
            TerminateProcess(process, 9);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
}

TEST_F(ArchiverCommandsTest, ExhaustedMemoryReleasesEverythingOnTheWay)
{
    CArchiverMode mode(L"exit");
    CScratchFolder work;
    const CNameList names({L"C:\\Work\\a.zip", L"C:\\Work\\b.zip"});
    const auto compress = [&]
    { return CompressFiles(work.Path(), CWideString(L"Work.zip"), CWideString(L"zip"), names, true, false, false); };
    // The first launch, and the first exception thrown, of a process open a few handles of the
    // system's own for good: the count starts after both.
    EXPECT_EQ(0u, compress());
    AllocHooks::FailNth(1);
    EXPECT_THROW(compress(), CNewException);
    const long handles = CountOpenHandles();
    int failures = 0;
    for (long n = 1; n < 200; n++)
    {
        const long blocks = AllocHooks::LiveBlocks();
        AllocHooks::FailNth(n);
        bool thrown = false;
        try
        {
            EXPECT_EQ(0u, compress()) << n;
        }
        catch (const CNewException&)
        {
            thrown = true;
        }
        const bool pending = AllocHooks::FailurePending();
        AllocHooks::FailNth(0);
        EXPECT_EQ(blocks, AllocHooks::LiveBlocks()) << n;
        if (pending)
            break; // the whole launch needed fewer than n blocks
        EXPECT_TRUE(thrown) << n;
        failures++;
    }
    EXPECT_GT(failures, 5);
    EXPECT_EQ(handles, CountOpenHandles());
    // Besides the first, only the run that needed no more blocks than it got started the archiver.
    EXPECT_EQ(2u, Logs.Archiver(2).size());
}
