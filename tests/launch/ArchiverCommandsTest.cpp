#include "LaunchTestSupport.h"

#include "base/AllocHooks.h"
#include "launch/ArchiverCommands.h"
#include "launch/Launch.h"
#include "server/Module.h"

#include <cstdlib>
#include <memory>
#include <set>

namespace
{
class ArchiverCommandsTest : public CModuleTest
{
protected:
    CStandInLogs Logs;
};

std::wstring Archiver()
{
    return QuotedStandIn(L"VNTXG.exe");
}

// The bytes the name list of `names` must consist of.
std::vector<BYTE> ExpectedBlock(const std::vector<std::wstring>& names)
{
    std::vector<BYTE> bytes = {0, 0};
    for (const std::wstring& name : names)
    {
        for (wchar_t unit : name)
        {
            bytes.push_back(static_cast<BYTE>(unit & 0xFF));
            bytes.push_back(static_cast<BYTE>(unit >> 8));
        }
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
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

// The ticks whose names a test has taken: from the tick it began at to one well ahead of the
// clock, so that the tick the launch right after seeds with is among them, however long taking
// the names took.
struct CSeedRange
{
    DWORD First;
    DWORD End;
};

template <typename TTake> CSeedRange TakeAhead(TTake take)
{
    const DWORD kLead = 500;
    CSeedRange range{GetTickCount(), GetTickCount()};
    while (range.End < GetTickCount() + kLead)
        take(range.End++);
    return range;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Kernel objects of whatever kind, held under chosen names for one scope.
class CHeldNames
{
public:
    CHeldNames() = default;
    CHeldNames(const CHeldNames&) = delete;
    CHeldNames& operator=(const CHeldNames&) = delete;
    ~CHeldNames()
    {
        for (HANDLE handle : _handles)
            CloseHandle(handle);
    }
    void Mapping(const std::wstring& name)
    {
        Keep(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 2, Narrow(name).c_str()));
    }
    void Event(const std::wstring& name) { Keep(CreateEventA(nullptr, TRUE, FALSE, Narrow(name).c_str())); }
    std::set<unsigned>& Numbers() { return _numbers; }

private:
    void Keep(HANDLE handle)
    {
        if (handle != nullptr)
            _handles.push_back(handle);
    }
    std::vector<HANDLE> _handles;
    std::set<unsigned> _numbers;
};
} // namespace

TEST_F(ArchiverCommandsTest, ExtractAndTestCommandLines)
{
    struct
    {
        bool Test;
        const wchar_t* OutputFolder;
        bool ShowDialog;
        int LargePages; // -1: no value
        const wchar_t* Tail;
    } const cases[] = {
        {false, L"C:\\Work\\report", false, -1, L" x -o\"C:\\Work\\report\" -slp- -an -ai#<list>"},
        {false, L"C:\\Work\\report\\", true, 0, L" x -o\"C:\\Work\\report\\\" -ad -slp- -an -ai#<list>"},
        {false, L"", false, 0, L" x -slp- -an -ai#<list>"},
        {false, L"", true, 1, L" x -ad -an -ai#<list>"},
        {false, L"C:\\Work\\*", false, 7, L" x -o\"C:\\Work\\*\" -an -ai#<list>"}, // several archives
        {true, L"", false, -1, L" t -slp- -an -ai#<list>"},
        {true, L"", false, 1, L" t -an -ai#<list>"},
    };
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\Work\\report.zip", L"C:\\Work\\other.rar"});
    for (const auto& item : cases)
    {
        CLargePagesScope largePages(item.LargePages);
        EXPECT_EQ(0u, item.Test ? TestArchives(names)
                                : ExtractArchives(names, CWideString(item.OutputFolder), item.ShowDialog));
    }
    const auto records = Logs.Archiver();
    ASSERT_EQ(std::size(cases), records.size());
    for (size_t i = 0; i < records.size(); i++)
    {
        CListArgument list;
        EXPECT_EQ(Archiver() + cases[i].Tail, CutListArgument(records[i][L"CommandLine"], L"VNTXExtract", list));
        EXPECT_EQ(L"76", list.SizeText); // 2 + 2 * (18 + 1) + 2 * (17 + 1)
        EXPECT_EQ(L"exact", records[i][L"Block"]);
        EXPECT_EQ(L"opened", records[i][L"Event"]);
        EXPECT_EQ((std::vector<std::wstring>{L"C:\\Work\\report.zip", L"C:\\Work\\other.rar"}), records[i].Names);
    }
}

TEST_F(ArchiverCommandsTest, CompressCommandLines)
{
    struct
    {
        const wchar_t* ArchiveName;
        const wchar_t* ArchiveType;
        bool Email;
        bool ShowDialog;
        int LargePages;
        const wchar_t* Tail;
    } const cases[] = {
        {L"Project.zip", L"zip", true, false, -1, L" a -i#<list> -tzip -seml. -slp- -- \"Project.zip\""},
        {L"Project.VNTX", L"VNTX", false, false, 0, L" a -i#<list> -tVNTX -slp- -- \"Project.VNTX\""},
        {L"Project", L"", false, true, 1, L" a -i#<list> -ad -- \"Project\""},
        {L"Project", L"", true, true, -1, L" a -i#<list> -seml. -ad -slp- -- \"Project\""},
        {L"", L"", false, false, 1, L" a -i#<list> -- \"\""},
    };
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\Work\\Project\\a.txt", L"C:\\Work\\Project\\Docs"});
    for (const auto& item : cases)
    {
        CLargePagesScope largePages(item.LargePages);
        EXPECT_EQ(0u, CompressFiles(CWideString(), CWideString(item.ArchiveName), CWideString(item.ArchiveType), names,
                                    item.Email, item.ShowDialog, false));
    }
    const auto records = Logs.Archiver();
    ASSERT_EQ(std::size(cases), records.size());
    for (size_t i = 0; i < records.size(); i++)
    {
        CListArgument list;
        EXPECT_EQ(Archiver() + cases[i].Tail, CutListArgument(records[i][L"CommandLine"], L"VNTXCompress", list));
        EXPECT_TRUE(list.Found);
        EXPECT_EQ(L"exact", records[i][L"Block"]);
        EXPECT_EQ(2u, records[i].Names.size());
    }
}

TEST_F(ArchiverCommandsTest, NameListBlockHoldsEachNameWithItsZero)
{
    const std::vector<std::vector<std::wstring>> lists = {
        {},
        {L"C:\\a", L"C:\\bb"},
        {L"C:\\\xD83D\xDE00 smile.zip", L"C:\\\x4E2D\x6587\\", L""},
    };
    for (const auto& values : lists)
    {
        COwningVector<CWideString> names;
        FillNames(names, values);
        CNamedFileMapping mapping;
        CNamedEvent endEvent;
        CWideString commandLine(L"P -ai#");
        ASSERT_EQ(0u, CreateNameListMapping(names, L"VNTXExtract", mapping, endEvent, commandLine));

        const std::vector<BYTE> expected = ExpectedBlock(values);
        CListArgument list;
        EXPECT_EQ(L"P -ai#<list>", CutListArgument(commandLine.Ptr(), L"VNTXExtract", list));
        EXPECT_EQ(std::to_wstring(expected.size()), list.SizeText);

        // The mapping is reachable by the name on the command line, and holds exactly the block.
        HANDLE opened = OpenFileMappingA(FILE_MAP_READ, FALSE, Narrow(list.MappingName).c_str());
        ASSERT_NE(nullptr, opened);
        const BYTE* view = static_cast<const BYTE*>(MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0));
        ASSERT_NE(nullptr, view);
        EXPECT_EQ(expected, std::vector<BYTE>(view, view + expected.size()));
        EXPECT_EQ(0, view[expected.size()]);
        UnmapViewOfFile(view);
        CloseHandle(opened);

        // A manual-reset event, not signalled, under the name on the command line.
        HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, Narrow(list.EventName).c_str());
        ASSERT_NE(nullptr, event);
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
        SetEvent(event);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(endEvent.GetHandle(), 0));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(endEvent.GetHandle(), 0));
        CloseHandle(event);
    }
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\a", L"C:\\bb"});
    EXPECT_EQ(24u, NameListBlockSize(names));
}

TEST_F(ArchiverCommandsTest, TheArchiverReceivesNamesOutsideTheBasicPlane)
{
    const std::vector<std::wstring> values = {L"C:\\\xD83D\xDE00.zip", L"C:\\caf\x00E9\\\x4E2D.rar"};
    COwningVector<CWideString> names;
    FillNames(names, values);
    EXPECT_EQ(0u, ExtractArchives(names, CWideString(), false));
    FillNames(names, {});
    EXPECT_EQ(0u, TestArchives(names));
    const auto records = Logs.Archiver();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(values, records[0].Names);
    EXPECT_EQ(L"exact", records[0][L"Block"]);
    CListArgument list;
    CutListArgument(records[1][L"CommandLine"], L"VNTXExtract", list);
    EXPECT_EQ(L"2", list.SizeText);
    EXPECT_EQ(L"0", records[1][L"Names"]);
    EXPECT_EQ(L"exact", records[1][L"Block"]);
}

TEST_F(ArchiverCommandsTest, WindowsNinetyEightPathKeepsTheBlockWide)
{
    CWidePathScope ansi(false);
    const std::vector<std::wstring> values = {L"C:\\\x03A9.zip"};
    COwningVector<CWideString> names;
    FillNames(names, values);
    // Windows-1252 has the e acute; CJK it lacks, even as a best-fit look-alike.
    EXPECT_EQ(0u, ExtractArchives(names, CWideString(L"C:\\\x4E2D\\\x00E9t\x00E9"), false));
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    CListArgument list;
    // The command line went through the ANSI code page; the names did not.
    EXPECT_EQ(Archiver() + L" x -o\"C:\\_\\\x00E9t\x00E9\" -slp- -an -ai#<list>",
              CutListArgument(records[0][L"CommandLine"], L"VNTXExtract", list));
    EXPECT_EQ(values, records[0].Names);
    EXPECT_EQ(L"exact", records[0][L"Block"]);
}

TEST_F(ArchiverCommandsTest, TakenNamesMoveToTheNextNumber)
{
    // Both names that the generator gives first for any tick of the coming second are taken, as
    // by a launch that started at the same tick and still holds its list.
    CHeldNames held;
    std::set<unsigned> firstDraws;
    const CSeedRange seeds = TakeAhead(
        [&](DWORD seed)
        {
            const int first = Draws(seed, 1)[0];
            if (firstDraws.insert(first).second)
            {
                held.Mapping(L"VNTXExtractMapping" + std::to_wstring(first));
                held.Event(L"VNTXExtractMappingEndEvent" + std::to_wstring(first));
            }
        });
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\a.zip"});
    CNamedFileMapping mapping;
    CNamedEvent endEvent;
    CWideString commandLine;
    ASSERT_EQ(0u, CreateNameListMapping(names, L"VNTXExtract", mapping, endEvent, commandLine));
    CListArgument list;
    CutListArgument(commandLine.Ptr(), L"VNTXExtract", list);
    ASSERT_TRUE(list.Found) << commandLine.Ptr();
    EXPECT_EQ(0u, firstDraws.count(list.MappingNumber));
    EXPECT_EQ(0u, firstDraws.count(list.EventNumber));
    // The numbers are the next draws of a seed from that second, skipping every taken one.
    bool mappingExplained = false, eventExplained = false;
    for (DWORD seed = seeds.First; seed < seeds.End; seed++)
    {
        for (int number : Draws(seed, 8))
            if (firstDraws.count(number) == 0)
            {
                mappingExplained |= static_cast<unsigned>(number) == list.MappingNumber;
                eventExplained |= static_cast<unsigned>(number) == list.EventNumber;
                break;
            }
    }
    EXPECT_TRUE(mappingExplained) << list.MappingNumber;
    EXPECT_TRUE(eventExplained) << list.EventNumber;
}

TEST_F(ArchiverCommandsTest, NameOfAnotherKindFailsTheLaunch)
{
    // A name held by an object of another kind cannot be opened as a mapping or as an event:
    // the launch gives up without starting the archiver, and closes what it had created.
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\a.zip"});
    const long handles = CountOpenHandles();
    {
        CHeldNames held;
        TakeAhead([&](DWORD seed) { held.Event(L"VNTXExtractMapping" + std::to_wstring(Draws(seed, 1)[0])); });
        EXPECT_EQ(0x80004005u, TestArchives(names));
    }
    {
        CHeldNames held;
        TakeAhead([&](DWORD seed)
                  { held.Mapping(L"VNTXCompressMappingEndEvent" + std::to_wstring(Draws(seed, 1)[0])); });
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
                  CompressFiles(CWideString(), CWideString(L"a.zip"), CWideString(L"zip"), names, false, false, false));
    }
    EXPECT_EQ(handles, CountOpenHandles());
    EXPECT_EQ(0u, Logs.Archiver().size());
}

TEST_F(ArchiverCommandsTest, TheSearchForAFreeNameIsBounded)
{
    // Every number the generator gives within the limit names a taken object: the launch fails
    // as if the object could not be created, instead of drawing forever.
    EXPECT_EQ(4u * (RAND_MAX + 1u), kNameAttemptLimit);
    const unsigned savedLimit = SetNameAttemptLimit(2);
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\a.zip"});
    {
        CHeldNames held;
        TakeAhead(
            [&](DWORD seed)
            {
                for (int number : Draws(seed, 2))
                    held.Mapping(L"VNTXExtractMapping" + std::to_wstring(number));
            });
        EXPECT_EQ(0x80004005u, ExtractArchives(names, CWideString(), false));
    }
    {
        CHeldNames held;
        TakeAhead(
            [&](DWORD seed)
            {
                for (int number : Draws(seed, 2))
                    held.Event(L"VNTXExtractMappingEndEvent" + std::to_wstring(number));
            });
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), TestArchives(names));
    }
    SetNameAttemptLimit(savedLimit);
    EXPECT_EQ(0u, Logs.Archiver().size());
}

TEST_F(ArchiverCommandsTest, MissingArchiverStartsNothingAndLeaksNothing)
{
    CModuleInstanceScope kernel(GetModuleHandleW(L"kernel32.dll"));
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\a.zip"});
    const long handles = CountOpenHandles();
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ExtractArchives(names, CWideString(), false));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), TestArchives(names));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              CompressFiles(CWideString(), CWideString(L"a"), CWideString(), names, false, true, false));
    EXPECT_EQ(handles, CountOpenHandles());
}

TEST_F(ArchiverCommandsTest, ArchiverThatExitsWithoutReadingEndsTheWait)
{
    CArchiverModeScope mode(L"exit");
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\a.zip"});
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, ExtractArchives(names, CWideString(), false));
    EXPECT_LT(ElapsedSince(start), 10000u);
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"exit", records[0][L"Mode"]);
}

TEST_F(ArchiverCommandsTest, TheEventEndsTheWaitBeforeTheArchiverExits)
{
    CArchiverModeScope mode(L"stay:8000");
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\a.zip"});
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, TestArchives(names));
    EXPECT_LT(ElapsedSince(start), 6000u);
    // The archiver wrote its record before it signalled.
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"exact", records[0][L"Block"]);
}

TEST_F(ArchiverCommandsTest, SlowArchiverWithinTheLimitIsWaitedFor)
{
    CArchiverModeScope mode(L"slow:700");
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\slow.zip"});
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, ExtractArchives(names, CWideString(), false));
    EXPECT_GE(ElapsedSince(start), 650u);
    const auto records = Logs.Archiver();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"exact", records[0][L"Block"]);
}

TEST_F(ArchiverCommandsTest, ArchiverSlowerThanTheLimitStillFindsItsList)
{
    // The shell's thread comes back at the limit; the list outlives our handles because the
    // archiver holds it too, and is read whole later.
    CWaitLimitScope limit(400);
    CArchiverModeScope mode(L"slow:2500");
    const std::vector<std::wstring> values = {L"C:\\late\\\xD83D\xDE00.zip", L"C:\\late\\b.rar"};
    COwningVector<CWideString> names;
    FillNames(names, values);
    const long handles = CountOpenHandles();
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u,
              CompressFiles(CWideString(), CWideString(L"late.zip"), CWideString(L"zip"), names, false, false, false));
    const DWORD elapsed = ElapsedSince(start);
    EXPECT_GE(elapsed, 350u);
    EXPECT_LT(elapsed, 2400u);
    EXPECT_EQ(handles, CountOpenHandles());
    EXPECT_EQ(0u, Logs.Archiver().size());
    const auto records = Logs.WaitForArchiver(1);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(values, records[0].Names);
    EXPECT_EQ(L"exact", records[0][L"Block"]);
    EXPECT_EQ(L"opened", records[0][L"Event"]);
}

TEST_F(ArchiverCommandsTest, HungArchiverDoesNotHoldTheThread)
{
    CWaitLimitScope limit(400);
    CArchiverModeScope mode(L"hang");
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\a.zip"});
    const long handles = CountOpenHandles();
    const DWORD start = GetTickCount();
    EXPECT_EQ(0u, TestArchives(names));
    EXPECT_GE(ElapsedSince(start), 350u);
    EXPECT_EQ(handles, CountOpenHandles());
    const auto records = Logs.WaitForArchiver(1);
    ASSERT_EQ(1u, records.size());
    const std::wstring pid = records[0][L"Pid"];
    ASSERT_NE(L"<absent>", pid);
    EndProcess(static_cast<DWORD>(std::stoul(pid)));
}

TEST_F(ArchiverCommandsTest, ExhaustedMemoryReleasesEverythingOnTheWay)
{
    CArchiverModeScope mode(L"exit");
    CScratchFolder work;
    COwningVector<CWideString> names;
    FillNames(names, {L"C:\\Work\\a.zip", L"C:\\Work\\b.zip"});
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
    EXPECT_EQ(2u, Logs.WaitForArchiver(2).size());
}
