#include "BaseTest.h"

using StringTest = CModuleTest;

TEST_F(StringTest, CapacitiesFollowTheGrowthPolicy)
{
    // One unit appended at a time: {last length, capacity up to it}. The step is 4, 16 above 8,
    // half the capacity above 64.
    const std::pair<int, int> runs[] = {{3, 4}, {8, 9}, {25, 26}, {42, 43}, {59, 60}, {76, 77}, {115, 116}, {174, 175}};
    CWideString text;
    for (const auto& [lastLength, capacity] : runs)
        for (; text.Length() <= lastLength; text.Append(L'x'))
            ASSERT_EQ(capacity, text.Capacity()) << "at length " << text.Length();

    const CWideString six(L"abcdef");
    const wchar_t* const k64 = L"0123456789012345678901234567890123456789012345678901234567890123";
    CWideString appended(k64), grown(L"ab"), shrunk(L"a long text of some length"), assigned(L"abc"), unit(L"abc");
    appended.Append(L'x');
    grown.Append(L"0123456789"); // more than one step: grows by exactly what is missing
    shrunk = L"abc";
    assigned = CWideString(L"abcdefgh");
    unit = L'z';
    const std::tuple<const char*, int, int> cases[] = {
        {"new empty string", CWideString().Capacity(), 4}, {"one unit", CWideString(L'a').Capacity(), 2},
        {"empty text", CWideString(L"").Capacity(), 1},    {"copy of six units", CWideString(six).Capacity(), 7},
        {"64 units", CWideString(k64).Capacity(), 65},     {"64 units and one more", appended.Capacity(), 98},
        {"ab + 10 units", grown.Capacity(), 14},           {"shorter text assigned", shrunk.Capacity(), 4},
        {"longer text assigned", assigned.Capacity(), 9},  {"unit assigned", unit.Capacity(), 2},
    };
    for (const auto& [what, capacity, expected] : cases)
        EXPECT_EQ(expected, capacity) << what;
    EXPECT_EQ(CWideString(L"ab0123456789"), grown);
}

TEST_F(StringTest, CutsFollowTheirCountRules)
{
    const CWideString abcdef(L"abcdef");
    const std::tuple<const char*, CWideString, const wchar_t*> cuts[] = {
        {"Slice(2, 100)", abcdef.Slice(2, 100), L"cdef"}, {"Slice(1, 2)", abcdef.Slice(1, 2), L"bc"},
        {"Slice(6, 3)", abcdef.Slice(6, 3), L""},         {"Slice(0, 6)", abcdef.Slice(0, 6), L"abcdef"},
        {"SliceFrom(4)", abcdef.SliceFrom(4), L"ef"},     {"Prefix(3)", abcdef.Prefix(3), L"abc"},
        {"Prefix(10)", abcdef.Prefix(10), L"abcdef"},     {"Suffix(10) of abc", CWideString(L"abc").Suffix(10), L"abc"},
        {"Suffix(2)", abcdef.Suffix(2), L"ef"},           {"Suffix(0)", abcdef.Suffix(0), L""},
    };
    for (const auto& [what, result, expected] : cuts)
        EXPECT_EQ(CWideString(expected), result) << what;

    const std::tuple<int, int, const wchar_t*> erasures[] = {{5, 3, L"abcde"},  {0, 2, L"cdef"},   {2, 2, L"abef"},
                                                             {6, 1, L"abcdef"}, {1, 0, L"abcdef"}, {1, -3, L"abcdef"}};
    for (const auto& [index, count, expected] : erasures)
    {
        CWideString text(abcdef);
        EXPECT_EQ(CWideString::UnitCount(expected), text.Erase(index, count));
        EXPECT_EQ(CWideString(expected), text) << "Erase(" << index << ", " << count << ")";
    }

    const std::tuple<int, const wchar_t*, const wchar_t*> insertions[] = {
        {0, L"XY", L"XYabc"}, {1, L"XY", L"aXYbc"}, {3, L"XY", L"abcXY"}, {9, L"XY", L"abcXY"}, {1, L"", L"abc"}};
    for (const auto& [index, inserted, expected] : insertions)
    {
        CWideString text(L"abc");
        EXPECT_EQ(CWideString::UnitCount(expected), text.InsertAt(index, CWideString(inserted)));
        EXPECT_EQ(CWideString(expected), text) << "InsertAt(" << index << ")";
    }
    CWideString self(L"abc");
    self.InsertAt(1, self); // the units move while they are inserted
    EXPECT_EQ(CWideString(L"aabcbc"), self);
}

TEST_F(StringTest, TrimTrailingBlanksKeepsACarriageReturn)
{
    // Space, tab and line feed go; a carriage return stays.
    const std::pair<const wchar_t*, const wchar_t*> trims[] = {{L"abc \t\n", L"abc"},
                                                               {L"abc\n\t ", L"abc"},
                                                               {L"abc\r", L"abc\r"},
                                                               {L"abc\r \t", L"abc\r"},
                                                               {L" \t\n", L""},
                                                               {L"a b", L"a b"},
                                                               {L"", L""}};
    for (const auto& [input, expected] : trims)
    {
        CWideString trimmed(input);
        trimmed.TrimTrailingBlanks();
        EXPECT_EQ(CWideString(expected), trimmed);
        EXPECT_EQ(CWideString::UnitCount(expected), trimmed.Length());
    }
}

TEST_F(StringTest, ComparisonsOrdinalAndIgnoringCase)
{
    // {a, b, ordinal over unsigned units, ignoring case (upper-cases only the units that differ)}
    const std::tuple<const wchar_t*, const wchar_t*, int, int> cases[] = {
        {L"abc", L"abc", 0, 0},  {L"abc", L"abd", -1, -1},   {L"b", L"a", 1, 1},
        {L"ab", L"a", 1, 1},     {L"", L"a", -1, -1},        {L"", L"", 0, 0},
        {L"a", L"", 1, 1},       {L"\xFFFF", L"a", 1, 1},    {L"a", L"B", 1, -1},
        {L"B", L"a", -1, 1},     {L"Part1", L"PART1", 1, 0}, {L"\x00E9t\x00E9", L"\x00C9T\x00C9", 1, 0},
        {L"abc", L"ABD", 1, -1}, {L"[", L"a", -1, 1}, // '[' (0x5B) is above 'A' (0x41), so above a's upper case
    };
    for (const auto& [a, b, ordinal, ignoringCase] : cases)
    {
        EXPECT_EQ(ordinal, CWideString(a).Compare(b)) << a << " vs " << b;
        EXPECT_EQ(ignoringCase, CWideString(a).CompareIgnoreCase(b)) << a << " vs " << b;
    }
    EXPECT_EQ(1, CNarrowString("\xE9").Compare("z")); // bytes compare unsigned too

    CWideString path(L"C:\\Program Files\\\x00C9T\x00C9.ZIP");
    path.ToLowerInPlace();
    EXPECT_EQ(CWideString(L"c:\\program files\\\x00E9t\x00E9.zip"), path);
}

TEST_F(StringTest, AppendingAStringToItselfReadsTheGrownBuffer)
{
    // Growing frees the old buffer; with guard pages a read of it faults at once.
    AllocHooks::SetGuarded(true);
    CWideString text(L"abc");
    text.Append(text);
    EXPECT_EQ(CWideString(L"abcabc"), text);
    text.Append(text.Ptr() + 4);
    EXPECT_EQ(CWideString(L"abcabcbc"), text);
    text = text.Ptr() + 3;
    EXPECT_EQ(CWideString(L"abcbc"), text);
}

TEST_F(StringTest, CommitBufferNeverReadsPastTheCapacity)
{
    CWideString text;
    wcscpy(text.BufferForWrite(10), L"hello");
    EXPECT_EQ(11, text.Capacity());
    text.CommitBuffer();
    EXPECT_EQ(CWideString(L"hello"), text);
    text.CommitBuffer(3);
    EXPECT_EQ(CWideString(L"hel"), text);
    text.BufferForWrite(5);
    EXPECT_EQ(11, text.Capacity());
    wmemset(text.BufferForWrite(10), L'x', text.Capacity()); // left unterminated by the system
    text.CommitBuffer();
    EXPECT_EQ(10, text.Length());
    EXPECT_EQ(0, text.Ptr()[10]);
}

TEST_F(StringTest, FailedAllocationThrowsAndLeavesTheStringAsItWas)
{
    const CWideString other(L"XYZ");
    const std::pair<const char*, void (*)(CWideString&, const CWideString&)> operations[] = {
        {"append", [](CWideString& s, const CWideString& other) { s.Append(other); }},
        {"append unit", [](CWideString& s, const CWideString&) { s.Append(L'd'); }},
        {"append itself", [](CWideString& s, const CWideString&) { s.Append(s); }},
        {"assign longer", [](CWideString& s, const CWideString&) { s = L"a different text"; }},
        {"assign shorter", [](CWideString& s, const CWideString&) { s = L"a"; }},
        {"insert", [](CWideString& s, const CWideString& other) { s.InsertAt(1, other); }},
        {"buffer", [](CWideString& s, const CWideString&) { s.BufferForWrite(100); }},
    };
    for (const auto& [what, change] : operations)
    {
        CWideString text(L"abc");
        AllocHooks::FailNth(1);
        EXPECT_THROW(change(text, other), CNewException) << what;
        AllocHooks::FailNth(0);
        EXPECT_EQ(CWideString(L"abc"), text) << what;
        EXPECT_EQ(4, text.Capacity()) << what;
    }
}
