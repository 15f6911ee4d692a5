#include "TestSupport.h"

#include "ShellItems.h"

#include "base/ComIds.h"
#include "base/NameGuid.h"
#include "base/Sync.h"
#include "base/TextConvert.h"
#include "base/UiWrappers.h"
#include "base/Vector.h"

#include <string>

using CoreTest = CModuleTest;

namespace
{
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

template <typename TVector> auto Contents(const TVector& vector)
{
    std::vector<std::decay_t<decltype(vector[0])>> values;
    for (int i = 0; i < vector.Count(); i++)
        values.push_back(vector[i]);
    return values;
}

const CWideString kAbc(L"abc");
} // namespace

TEST_F(CoreTest, EditsKeepWithinTheText)
{
    const auto erased = [](int index, int count)
    {
        CWideString text(kAbc);
        text.Erase(index, count);
        return text;
    };
    const auto selfInserted = [](int index)
    {
        CWideString text(kAbc);
        text.InsertAt(index, text);
        return text;
    };
    const std::pair<CWideString, const wchar_t*> edits[] = {
        {kAbc.Slice(1, 100), L"bc"},  {kAbc.Slice(3, 3), L""},     {kAbc.Prefix(10), L"abc"},
        {kAbc.Suffix(10), L"abc"},    {kAbc.Suffix(0), L""},       {kAbc.SliceFrom(2), L"c"},
        {erased(2, 9), L"ab"},        {erased(0, 2), L"c"},        {erased(1, 1), L"ac"},
        {erased(3, 1), L"abc"},       {erased(1, -3), L"abc"},     {selfInserted(0), L"abcabc"},
        {selfInserted(1), L"aabcbc"}, {selfInserted(9), L"abcabc"}};
    for (const auto& [result, expected] : edits)
        EXPECT_EQ(CWideString(expected), result) << "edit " << &result - &edits[0].first;
}

TEST_F(CoreTest, TrimmingTakesSpaceTabAndLineFeedButKeepsACarriageReturn)
{
    for (const auto& [input, expected] :
         {std::make_pair(L"abc\n\t ", L"abc"), {L"abc\r \t", L"abc\r"}, {L" \t\n", L""}})
    {
        CWideString trimmed(input);
        trimmed.TrimTrailingBlanks();
        EXPECT_EQ(std::make_pair(CWideString(expected), CWideString::UnitCount(expected)),
                  std::make_pair(trimmed, trimmed.Length()));
    }
}

TEST_F(CoreTest, CompareOrdersUnsignedUnitsWithAndWithoutCase)
{
    // {a, b, ordinal over unsigned units, ignoring case: '[' (0x5B) lies above 'A', a's upper case}
    const std::tuple<const wchar_t*, const wchar_t*, int, int> cases[] = {
        {L"ab", L"a", 1, 1}, {L"", L"a", -1, -1},        {L"", L"", 0, 0},         {L"\xFFFF", L"a", 1, 1},
        {L"a", L"B", 1, -1}, {L"Part1", L"PART1", 1, 0}, {L"\xE9", L"\xC9", 1, 0}, {L"[", L"a", -1, 1}};
    for (const auto& [a, b, ordinal, ignoringCase] : cases)
        EXPECT_EQ(std::make_pair(ordinal, ignoringCase),
                  std::make_pair(CWideString(a).Compare(b), CWideString(a).CompareIgnoreCase(b)))
            << CWideString(a) << " vs " << CWideString(b);
    EXPECT_EQ(1, CNarrowString("\xE9").Compare("z")); // bytes compare unsigned too
}

// A text takes what it needs; one more unit adds 4, 16 above 8, half above 64; more add what is missing.
// A vector's capacity runs 1, 2, ... 8, 16, 24, ... 64, then grows by a quarter.
TEST_F(CoreTest, CapacitiesFollowTheGrowthPolicy)
{
    CWideString three(L"abc"), eight(L"12345678"), sixtyFour(std::wstring(64, L'x').c_str()), grown(L"ab");
    for (CWideString* text : {&three, &eight, &sixtyFour})
        text->Append(L'!');
    grown.Append(L"0123456789");
    EXPECT_EQ((std::vector<int>{4, 9, 26, 98, 14}),
              (std::vector<int>{kAbc.Capacity(), three.Capacity(), eight.Capacity(), sixtyFour.Capacity(),
                                grown.Capacity()}));
    CValueVector<int> vector;
    std::vector<int> capacities;
    for (int count : {5, 8, 9, 64, 65})
    {
        for (int i = vector.Count(); i < count; i++)
            EXPECT_EQ(i, vector.Add(i));
        capacities.push_back(vector.Capacity());
    }
    EXPECT_EQ((std::vector<int>{5, 8, 16, 64, 80}), capacities);
}

// Growing frees the old buffer; with guard pages a read of it, or a write past the end, faults at once.
TEST_F(CoreTest, TextsNeverReachOutsideTheirBlock)
{
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
}

// Code page 1252 has no Chinese characters; for an omega and the full-width quote and backslash
// the system's best fit would give "O", '"' and '\\', which are other names or syntax.
TEST_F(CoreTest, ConversionReplacesWhatTheCodePageCannotSpell)
{
    const std::tuple<const wchar_t*, char, const char*, bool> conversions[] = {
        {L"caf\x00E9\x20AC", '_', "caf\xE9\x80", false},
        {L"a\x4E2Dz", '#', "a#z", true},
        {L"a\x03A9z", '_', "a_z", true},
        {L"-o\xFF02\x0043:\xFF3C", '_', "-o_C:_", true},
        {L"\xD83D\xDE00!", '_', "_!", true},
        {L"a\xDC00z", '_', "a_z", true}}; // a low surrogate alone
    for (const auto& [text, replacement, expected, replaced] : conversions)
    {
        bool used = !replaced;
        EXPECT_EQ(CNarrowString(expected), MultiByteFromWide(CWideString(text), 1252, replacement, &used));
        EXPECT_EQ(replaced, used) << CWideString(text);
        EXPECT_TRUE(replacement != '_' || CNarrowString(expected) == MultiByteFromWide(CWideString(text), 1252));
    }
}

// Code page 12345 does not exist: every non-empty conversion is refused with its own code.
TEST_F(CoreTest, ConversionThroughAnUnknownCodePageThrowsItsOwnCode)
{
    EXPECT_TRUE(WideFromMultiByte(CNarrowString(), 12345).IsEmpty());
    EXPECT_TRUE(MultiByteFromWide(CWideString(), 12345).IsEmpty());
    EXPECT_EQ(0x44E74, ThrownCode([] { WideFromMultiByte(CNarrowString("abc"), 12345); }));
    EXPECT_EQ(0x44E75, ThrownCode([] { MultiByteFromWide(CWideString(L"abc"), 12345); }));
}

TEST_F(CoreTest, RemoveCutsAtTheEndIgnoresRangesOutsideAndKeepsTheBlock)
{
    // {index, count, what is left}
    const std::tuple<int, int, std::vector<int>> removals[] = {
        {2, 10, {0, 1}}, {1, 2, {0, 3, 4}}, {0, 5, {}}, {3, 0, {0, 1, 2, 3, 4}}, {-1, 1, {0, 1, 2, 3, 4}}};
    for (const auto& [index, count, expected] : removals)
    {
        CValueVector<int> cut;
        for (int i = 0; i < 5; i++)
            cut.Add(i);
        cut.Remove(index, count);
        EXPECT_EQ(std::make_pair(expected, 5), std::make_pair(Contents(cut), cut.Capacity())) << index << count;
    }
}

TEST_F(CoreTest, OwningVectorsCopyDeeplyAndClearingKeepsTheCapacity)
{
    COwningVector<CWideString> names, copy;
    for (const wchar_t* name : {L"a", L"b", L"c"})
        names.Add(CWideString(name));
    names.Reserve(1); // never below the count
    copy = names;
    names.Clear();
    names.RemoveLast(); // on an empty vector
    names.Remove(-1, 1);
    EXPECT_EQ(std::make_pair(0, 3), std::make_pair(names.Count(), names.Capacity()));
    EXPECT_EQ((std::vector<CWideString>{L"a", L"b", L"c"}), Contents(copy));
}

// 2^31 slots and more are too large; 2^30 slots of 4 bytes do not fit 32 bits. The vector stays.
TEST_F(CoreTest, ReservingBeyondTheLimitThrowsAndKeepsTheElements)
{
    CValueVector<int> vector;
    vector.Add(7);
    for (const auto& [size, code] : {std::make_pair(-1, 0x100EC1), {INT_MIN, 0x100EC1}, {0x40000000, 0x100EC2}})
        EXPECT_EQ(code, ThrownCode([&] { vector.Reserve(size); })) << size;
    EXPECT_EQ(std::vector<int>{7}, Contents(vector));
}

// Static, so that a thread left waiting by a fault never meets a destroyed section.
TEST_F(CoreTest, ALockIsLeftWhenAnExceptionPassesItsScope)
{
    static CCriticalSection section;
    EXPECT_EQ(1, ThrownCode([] { static_cast<void>(CCriticalSectionLock(section)), throw 1; }));
    EXPECT_TRUE(RunOnThreads(1, 10000, [](int) { CCriticalSectionLock lock(section); }));
}

TEST_F(CoreTest, ASecondCreateReleasesTheEventHeldBefore)
{
    const std::string name = "VantorTest-event-" + std::to_string(GetCurrentProcessId());
    CNamedEvent event;
    ASSERT_EQ(0u, event.Create(true, false, name.c_str()));
    ASSERT_EQ(0u, event.Create(true, true, nullptr)); // unnamed, initially signalled
    EXPECT_EQ(nullptr, OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.GetHandle(), 0));
}

TEST_F(CoreTest, OwnersLeaveTheLastErrorAsTheyFoundItWhenTheirScopeEnds)
{
    {
        CNamedEvent event;
        CNamedFileMapping mapping;
        ASSERT_EQ(0u, event.Create(true, false, nullptr));
        ASSERT_EQ(0u, mapping.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 4096, nullptr));
        CMappedView view(mapping.MapView(FILE_MAP_WRITE, 0, 4096));
        ASSERT_NE(nullptr, view.Get());
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    EXPECT_EQ(183u, GetLastError());
}

// Once unmapped, the view no longer keeps the mapping's pages in the address space.
TEST_F(CoreTest, AMappedViewIsUnmappedWhenItsScopeEnds)
{
    CNamedFileMapping mapping;
    ASSERT_EQ(0u, mapping.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 4096, nullptr));
    void* address = nullptr;
    {
        CMappedView view(mapping.MapView(FILE_MAP_WRITE, 0, 4096));
        address = view.Get();
        ASSERT_NE(nullptr, address);
    }
    MEMORY_BASIC_INFORMATION info = {};
    ASSERT_NE(0u, VirtualQuery(address, &info, sizeof(info)));
    EXPECT_EQ(static_cast<DWORD>(MEM_FREE), info.State);
}

// A page-file mapping of 4 GiB + 4 KiB: only the high word of the size tells it from 4 KiB.
TEST_F(CoreTest, AMappingSizeAndViewOffsetKeepTheirHighWords)
{
    CNamedFileMapping huge;
    if (huge.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0x100001000ull, nullptr) != 0)
        GTEST_SKIP() << "the system refuses a reserved mapping of this size: " << GetLastError();
    EXPECT_TRUE(UnmapViewOfFile(huge.MapView(FILE_MAP_READ, 0x100000000ull, 0x1000))) << GetLastError();
}

// A submenu under construction belongs to no menu yet: only its destroyer frees it on a failure path.
TEST_F(CoreTest, AMenuDestroyerDestroysTheMenuUnlessDisarmed)
{
    for (bool disarm : {false, true})
    {
        CMenuHandle menu;
        ASSERT_TRUE(menu.CreatePopup());
        const HMENU handle = menu.Get();
        {
            CMenuDestroyer destroyer(&menu);
            if (disarm)
                destroyer.Disarm();
        }
        EXPECT_EQ(disarm, IsMenu(handle) != FALSE) << disarm;
        EXPECT_EQ(disarm, menu.Destroy()) << "a second Destroy has nothing left to destroy";
    }
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

// The canonical names are RFC 4122 name-based identifiers: the sub-commands' verbs are ASCII, a
// language file never changes them, and any other name is taken as UTF-8.
TEST(NameGuid, NameBasedGuidsAreThoseOfVersion5)
{
    const GUID dns = {0x6BA7B810, 0x9DAD, 0x11D1, {0x80, 0xB4, 0x00, 0xC0, 0x4F, 0xD4, 0x30, 0xC8}};
    // The provider's canonical name, the namespace of its sub-commands' names.
    const GUID provider = {0x254BC9D6, 0xC471, 0x4742, {0x82, 0xD7, 0x32, 0x7A, 0xDD, 0xE1, 0xA1, 0x1C}};
    const struct
    {
        const GUID* Space;
        const wchar_t* Name;
        const wchar_t* Expected;
    } cases[] = {
        {&dns, L"python.org", L"{886313E1-3B8A-5372-9B90-0C9AEE199E5D}"},
        {&provider, L"\x00E9\x4E2D\xD83D\xDE00x", L"{CD437A36-5FDC-5550-BDEE-7B091FA254ED}"},
        {&provider,
         L"a\xD800"
         L"b",
         L"{A2D9792D-6555-5632-B14F-FAD020AF4077}"},
        {&provider, L"", L"{A680370B-5689-55F8-93D5-6691DA832E86}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, GuidText(MakeNameBasedGuid(*c.Space, c.Name))) << &c - cases;
}
