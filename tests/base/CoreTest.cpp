#include "TestSupport.h"

#include "base/ComIds.h"
#include "base/Sync.h"
#include "base/TextConvert.h"
#include "base/Vector.h"

#include <algorithm>
#include <string>

using CoreTest = CModuleTest;

// The integer code an operation throws, or 0 when it throws none.
template <typename TOperation> int ThrownCode(TOperation operation)
{
    try
    {
        return operation(), 0;
    }
    catch (int code)
    {
        return code;
    }
}

TEST_F(CoreTest, TextsStayWithinTheirBoundsCompareGrowAndConvert)
{
    const CWideString abc(L"abc");
    const std::pair<CWideString, const wchar_t*> cuts[] = {{abc.Slice(1, 100), L"bc"}, {abc.Slice(3, 3), L""},
                                                           {abc.Prefix(10), L"abc"},   {abc.Suffix(10), L"abc"},
                                                           {abc.Suffix(0), L""},       {abc.SliceFrom(2), L"c"}};
    for (const auto& [result, expected] : cuts)
        EXPECT_EQ(CWideString(expected), result);
    // {index, count to erase or (below -9) an insertion of the text into itself, result}
    const std::tuple<int, int, const wchar_t*> changes[] = {
        {2, 9, L"ab"},   {0, 2, L"c"},        {1, 1, L"ac"},       {3, 1, L"abc"},
        {1, -3, L"abc"}, {0, -99, L"abcabc"}, {1, -99, L"aabcbc"}, {9, -99, L"abcabc"}};
    for (const auto& [index, count, expected] : changes)
    {
        CWideString text(abc);
        count < -9 ? text.InsertAt(index, text) : text.Erase(index, count);
        EXPECT_EQ(CWideString(expected), text) << index << ", " << count;
    }
    // Space, tab and line feed are trimmed; a carriage return stays.
    for (const auto& [input, expected] :
         {std::make_pair(L"abc\n\t ", L"abc"), {L"abc\r \t", L"abc\r"}, {L" \t\n", L""}})
    {
        CWideString trimmed(input);
        trimmed.TrimTrailingBlanks();
        EXPECT_EQ(std::make_pair(CWideString(expected), CWideString::UnitCount(expected)),
                  std::make_pair(trimmed, trimmed.Length()));
    }
    // {a, b, ordinal over unsigned units, ignoring case: '[' (0x5B) lies above 'A', a's upper case}
    const std::tuple<const wchar_t*, const wchar_t*, int, int> cases[] = {
        {L"ab", L"a", 1, 1}, {L"", L"a", -1, -1},        {L"", L"", 0, 0},         {L"\xFFFF", L"a", 1, 1},
        {L"a", L"B", 1, -1}, {L"Part1", L"PART1", 1, 0}, {L"\xE9", L"\xC9", 1, 0}, {L"[", L"a", -1, 1}};
    for (const auto& [a, b, ordinal, ignoringCase] : cases)
        EXPECT_EQ(std::make_pair(ordinal, ignoringCase),
                  std::make_pair(CWideString(a).Compare(b), CWideString(a).CompareIgnoreCase(b)))
            << CWideString(a) << " vs " << CWideString(b);
    EXPECT_EQ(1, CNarrowString("\xE9").Compare("z")); // bytes compare unsigned too
    // A text takes what it needs; one more unit adds 4, 16 above 8, half above 64; more add what is missing.
    CWideString three(L"abc"), eight(L"12345678"), sixtyFour(std::wstring(64, L'x').c_str()), grown(L"ab");
    for (CWideString* text : {&three, &eight, &sixtyFour})
        text->Append(L'!');
    grown.Append(L"0123456789");
    EXPECT_EQ((std::vector<int>{4, 9, 26, 98, 14}),
              (std::vector<int>{CWideString(L"abc").Capacity(), three.Capacity(), eight.Capacity(),
                                sixtyFour.Capacity(), grown.Capacity()}));
    // Growing frees the old buffer; with guard pages a read of it or past the end faults at once.
    AllocHooks::SetGuarded(true);
    CWideString text(L"abc");
    text.Append(text);
    text.Append(text.Ptr() + 4);
    text = text.Ptr() + 3;
    EXPECT_EQ(CWideString(L"abcbc"), text);
    wcscpy(text.BufferForWrite(10), L"hello");
    text.CommitBuffer();
    EXPECT_EQ(CWideString(L"hello"), text);
    wmemset(text.BufferForWrite(10), L'x', text.Capacity()); // left unterminated by the system
    text.CommitBuffer();
    EXPECT_EQ(10, text.Length());
    EXPECT_EQ(0, text.Ptr()[10]);
    // Code page 1252 has no Chinese characters; for an omega and the full-width quote and backslash
    // the system's best fit would give "O", '"' and '\\', which are other names or syntax.
    const std::tuple<const wchar_t*, char, const char*, bool> conversions[] = {
        {L"caf\x00E9\x20AC", '_', "caf\xE9\x80", false},
        {L"a\x4E2Dz", '#', "a#z", true},
        {L"a\x03A9z", '_', "a_z", true},
        {L"-o\xFF02\x0043:\xFF3C", '_', "-o_C:_", true},
        {L"\xD83D\xDE00!", '_', "_!", true}};
    for (const auto& [text, replacement, expected, replaced] : conversions)
    {
        bool used = !replaced;
        EXPECT_EQ(CNarrowString(expected), MultiByteFromWide(CWideString(text), 1252, replacement, &used));
        EXPECT_EQ(replaced, used) << CWideString(text);
        EXPECT_TRUE(replacement != '_' || CNarrowString(expected) == MultiByteFromWide(CWideString(text), 1252));
    }
    // Code page 12345 does not exist: every non-empty conversion is refused with its own code.
    EXPECT_TRUE(WideFromMultiByte(CNarrowString(), 12345).IsEmpty());
    EXPECT_TRUE(MultiByteFromWide(CWideString(), 12345).IsEmpty());
    EXPECT_EQ(0x44E74, ThrownCode([] { WideFromMultiByte(CNarrowString("abc"), 12345); }));
    EXPECT_EQ(0x44E75, ThrownCode([] { MultiByteFromWide(CWideString(L"abc"), 12345); }));
}

TEST_F(CoreTest, GrowsCopiesRemovesAndSortsWithinTheirLimits)
{
    const auto contents = [](const auto& vector)
    {
        std::vector<std::decay_t<decltype(vector[0])>> values;
        for (int i = 0; i < vector.Count(); i++)
            values.push_back(vector[i]);
        return values;
    };
    CValueVector<int> vector, five;
    std::vector<int> capacities;
    for (int count : {5, 8, 9, 64, 65})
    {
        for (int i = vector.Count(); i < count; i++)
            EXPECT_EQ(i, vector.Add(i));
        capacities.push_back(vector.Capacity());
        if (count == 5)
            five = vector;
    }
    EXPECT_EQ((std::vector<int>{5, 8, 16, 64, 80}), capacities);
    // {index, count, what is left}: cut at the end, nothing below 1 or outside; the block stays.
    const std::tuple<int, int, std::vector<int>> removals[] = {
        {2, 10, {0, 1}}, {1, 2, {0, 3, 4}}, {0, 5, {}}, {3, 0, {0, 1, 2, 3, 4}}, {-1, 1, {0, 1, 2, 3, 4}}};
    for (const auto& [index, count, expected] : removals)
    {
        CValueVector<int> cut(five);
        cut.Remove(index, count);
        EXPECT_EQ(std::make_pair(expected, 5), std::make_pair(contents(cut), cut.Capacity())) << index << count;
    }
    COwningVector<CWideString> names, copy;
    for (const wchar_t* name : {L"a", L"b", L"c"})
        names.Add(CWideString(name));
    names.Reserve(1); // never below the count
    copy = names;
    names.Clear();
    names.RemoveLast(); // on an empty vector
    names.Remove(-1, 1);
    EXPECT_EQ(std::make_pair(0, 3), std::make_pair(names.Count(), names.Capacity()));
    EXPECT_EQ((std::vector<CWideString>{L"a", L"b", L"c"}), contents(copy));
    vector.Clear();
    std::vector<int> expected;
    for (unsigned i = 0, seed = 12345; i < 1000; i++)
        vector.Add(expected.emplace_back(static_cast<int>(((seed = seed * 1103515245u + 12345u) >> 8) % 500)));
    vector.Sort([](int a, int b) { return a - b; });
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, contents(vector));
#ifdef _WIN64
    // Pointers that differ only above 4 GB keep their own halves.
    CValueVector<UINT_PTR> pointers;
    for (UINT_PTR value : {0x300000001ull, 0x100000002ull, 0x200000000ull, 0x100000001ull})
        pointers.Add(value);
    pointers.Sort([](UINT_PTR a, UINT_PTR b) { return a < b ? -1 : (a > b ? 1 : 0); });
    EXPECT_EQ((std::vector<UINT_PTR>{0x100000001, 0x100000002, 0x200000000, 0x300000001}), contents(pointers));
#endif
    // 2^31 slots and more are too large; 2^30 slots of 4 bytes do not fit 32 bits. The vector stays.
    for (const auto& [size, code] : {std::make_pair(-1, 0x100EC1), {INT_MIN, 0x100EC1}, {0x40000000, 0x100EC2}})
        EXPECT_EQ(code, ThrownCode([&] { vector.Reserve(size); })) << size;
    EXPECT_EQ(expected, contents(vector));
}

TEST_F(CoreTest, OwnersReleaseWhatTheyHeldAndKeepTheErrorCode)
{
    // A lock passed by an exception is left: another thread takes the section. Static, so that a
    // thread left waiting by a fault never meets a destroyed section.
    static CCriticalSection section;
    EXPECT_EQ(1, ThrownCode([] { static_cast<void>(CCriticalSectionLock(section)), throw 1; }));
    EXPECT_TRUE(RunOnThreads(1, 10000, [](int) { CCriticalSectionLock lock(section); }));
    // A second Create releases the named event held before; the end of an owner's scope leaves
    // the last error as it was.
    const std::string name = "VantorTest-event-" + std::to_string(GetCurrentProcessId());
    {
        CNamedEvent event;
        CNamedFileMapping mapping;
        ASSERT_EQ(0u, event.Create(true, false, name.c_str()));
        ASSERT_EQ(0u, event.Create(true, true, nullptr)); // unnamed, initially signalled
        EXPECT_EQ(nullptr, OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.GetHandle(), 0));
        ASSERT_EQ(0u, mapping.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 4096, nullptr));
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    EXPECT_EQ(183u, GetLastError());
    // A page-file mapping of 4 GiB + 4 KiB: only the high word of the size tells it from 4 KiB.
    CNamedFileMapping huge;
    if (huge.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0x100001000ull, nullptr) != 0)
        GTEST_SKIP() << "the system refuses a reserved mapping of this size: " << GetLastError();
    EXPECT_TRUE(UnmapViewOfFile(huge.MapView(FILE_MAP_READ, 0x100000000ull, 0x1000))) << GetLastError();
}

// The registry's spelling of a class id: each group in upper-case hexadecimal, most significant digit first.
TEST_F(CoreTest, ClassIdTextIsUpperCaseHexadecimalInBraces)
{
    const std::pair<GUID, const char*> cases[] = {
        {{0x01234567, 0x89AB, 0xCDEF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}},
         "{01234567-89AB-CDEF-FEDC-BA9876543210}"},
        {{0xFEDCBA98, 0x7654, 0x3210, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}},
         "{FEDCBA98-7654-3210-0123-456789ABCDEF}"},
    };
    for (const auto& [id, text] : cases)
        EXPECT_STREQ(text, MakeClassIdText(id).Text);
}
