#include "TestSupport.h"

#include "base/WideString.h"

class StringTest : public CModuleTest
{
};

namespace
{
// Capacity after each unit appended to a new empty string, in runs: units [from, to] -> capacity.
struct CCapacityRun
{
    int FirstLength;
    int LastLength;
    int Capacity;
};

const CCapacityRun kUnitByUnitCapacities[] = {
    {0, 3, 4},       // empty strings start with room for three units
    {4, 8, 9},       // 4 + 4 + 1
    {9, 25, 26},     // 9 + 16 + 1
    {26, 42, 43},    // 26 + 16 + 1
    {43, 59, 60},    // 43 + 16 + 1
    {60, 76, 77},    // 60 + 16 + 1
    {77, 115, 116},  // above 64 the step is half the capacity: 77 + 38 + 1
    {116, 174, 175}, // 116 + 58 + 1
};
} // namespace

TEST_F(StringTest, AppendingUnitsFollowsTheGrowthSteps)
{
    CWideString text;
    for (const CCapacityRun& run : kUnitByUnitCapacities)
    {
        for (int length = run.FirstLength; length <= run.LastLength; length++)
        {
            if (length > 0)
                text.Append(L'x');
            ASSERT_EQ(length, text.Length());
            ASSERT_EQ(run.Capacity, text.Capacity()) << "at length " << length;
        }
    }
}

TEST_F(StringTest, InitialCapacitiesDependOnHowTheStringIsMade)
{
    const CWideString text(L"abcdef");
    EXPECT_EQ(4, CWideString().Capacity());
    EXPECT_EQ(2, CWideString(L'a').Capacity());
    EXPECT_EQ(4, CWideString(L"abc").Capacity());
    EXPECT_EQ(7, CWideString(text).Capacity());
    EXPECT_EQ(1, CWideString(L"").Capacity());
}

TEST_F(StringTest, GrowthAboveSixtyFourAddsHalfTheCapacity)
{
    CWideString text(CWideString(L"0123456789012345678901234567890123456789012345678901234567890123"));
    ASSERT_EQ(64, text.Length());
    ASSERT_EQ(65, text.Capacity());
    text.Append(L'x');
    EXPECT_EQ(98, text.Capacity());
}

TEST_F(StringTest, AppendingMoreThanOneStepGrowsByExactlyWhatIsMissing)
{
    CWideString text(L"ab"); // capacity 3, nothing free
    text.Append(L"0123456789");
    EXPECT_EQ(14, text.Capacity()); // the step 4 is too small: it becomes 10, and 3 + 10 + 1
    EXPECT_EQ(CWideString(L"ab0123456789"), text);
}

TEST_F(StringTest, AssignmentMakesTheCapacityExactlyTheNewLengthPlusOne)
{
    CWideString text(L"a long text of some length");
    text = L"abc";
    EXPECT_EQ(4, text.Capacity());
    text = CWideString(L"abcdefgh");
    EXPECT_EQ(9, text.Capacity());
    text = L'z';
    EXPECT_EQ(2, text.Capacity());
    EXPECT_EQ(CWideString(L"z"), text);
}

TEST_F(StringTest, CutsFollowTheirCountRules)
{
    const CWideString abcdef(L"abcdef");
    const struct
    {
        const char* What;
        CWideString Result;
        const wchar_t* Expected;
    } cases[] = {
        {"Slice(2, 100)", abcdef.Slice(2, 100), L"cdef"}, {"Slice(1, 2)", abcdef.Slice(1, 2), L"bc"},
        {"Slice(6, 3)", abcdef.Slice(6, 3), L""},         {"Slice(0, 6)", abcdef.Slice(0, 6), L"abcdef"},
        {"SliceFrom(4)", abcdef.SliceFrom(4), L"ef"},     {"Prefix(3)", abcdef.Prefix(3), L"abc"},
        {"Prefix(10)", abcdef.Prefix(10), L"abcdef"},     {"Suffix(10) of abc", CWideString(L"abc").Suffix(10), L"abc"},
        {"Suffix(2)", abcdef.Suffix(2), L"ef"},           {"Suffix(0)", abcdef.Suffix(0), L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CWideString(c.Expected), c.Result) << c.What;
}

TEST_F(StringTest, EraseCutsItsCountAtTheEnd)
{
    const struct
    {
        int Index;
        int Count;
        const wchar_t* Expected;
    } cases[] = {
        {5, 3, L"abcde"}, {0, 2, L"cdef"}, {2, 2, L"abef"}, {6, 1, L"abcdef"}, {1, 0, L"abcdef"}, {1, -3, L"abcdef"},
    };
    for (const auto& c : cases)
    {
        CWideString text(L"abcdef");
        const int length = text.Erase(c.Index, c.Count);
        EXPECT_EQ(CWideString(c.Expected), text) << c.Index << ", " << c.Count;
        EXPECT_EQ(text.Length(), length);
    }
}

TEST_F(StringTest, InsertAtCutsItsIndexToTheLength)
{
    const struct
    {
        int Index;
        const wchar_t* Inserted;
        const wchar_t* Expected;
    } cases[] = {
        {0, L"XY", L"XYabc"}, {1, L"XY", L"aXYbc"}, {3, L"XY", L"abcXY"}, {9, L"XY", L"abcXY"}, {1, L"", L"abc"},
    };
    for (const auto& c : cases)
    {
        CWideString text(L"abc");
        EXPECT_EQ(CWideString::UnitCount(c.Expected), text.InsertAt(c.Index, CWideString(c.Inserted)));
        EXPECT_EQ(CWideString(c.Expected), text);
    }
    CWideString self(L"abc");
    self.InsertAt(1, self);
    EXPECT_EQ(CWideString(L"aabcbc"), self);
}

TEST_F(StringTest, FindCharAndFindLastChar)
{
    const CWideString text(L"a\\b\\c");
    EXPECT_EQ(1, text.FindChar(L'\\'));
    EXPECT_EQ(3, text.FindChar(L'\\', 2));
    EXPECT_EQ(-1, text.FindChar(L'\\', 4));
    EXPECT_EQ(3, text.FindLastChar(L'\\'));
    EXPECT_EQ(-1, text.FindLastChar(L'x'));
    EXPECT_EQ(-1, CWideString().FindLastChar(L'\\'));
}

TEST_F(StringTest, TrimTrailingBlanksRemovesSpaceTabAndLineFeedButNotCarriageReturn)
{
    const struct
    {
        const wchar_t* Text;
        const wchar_t* Expected;
    } cases[] = {
        {L"abc \t\n", L"abc"}, {L"abc\n\t ", L"abc"}, {L"abc\r", L"abc\r"}, {L"abc\r \t", L"abc\r"},
        {L" \t\n", L""},       {L"a b", L"a b"},      {L"", L""},
    };
    for (const auto& c : cases)
    {
        CWideString text(c.Text);
        text.TrimTrailingBlanks();
        EXPECT_EQ(CWideString(c.Expected), text);
        EXPECT_EQ(CWideString::UnitCount(c.Expected), text.Length());
    }
}

TEST_F(StringTest, CompareIsOrdinalOverUnsignedUnits)
{
    const struct
    {
        const wchar_t* A;
        const wchar_t* B;
        int Expected;
    } cases[] = {
        {L"abc", L"abc", 0}, {L"abc", L"abd", -1}, {L"b", L"a", 1},      {L"ab", L"a", 1},
        {L"a", L"B", 1},     {L"", L"a", -1},      {L"\xFFFF", L"a", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, CWideString(c.A).Compare(c.B)) << c.A << " vs " << c.B;
    EXPECT_EQ(1, CNarrowString("\xE9").Compare("z")); // bytes compare unsigned too
}

TEST_F(StringTest, CompareIgnoreCaseUpperCasesOnlyWhereTheUnitsDiffer)
{
    const struct
    {
        const wchar_t* A;
        const wchar_t* B;
        int Expected;
    } cases[] = {
        {L"Part1", L"PART1", 0},
        {L"a", L"B", -1},
        {L"ab", L"a", 1},
        {L"B", L"a", 1},
        {L"", L"", 0},
        {L"a", L"", 1},
        {L"\x00E9t\x00E9", L"\x00C9T\x00C9", 0},
        {L"abc", L"ABD", -1},
        {L"[", L"a", 1}, // '[' (0x5B) is above 'A' (0x41), so above a's upper case
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, CWideString(c.A).CompareIgnoreCase(c.B)) << c.A << " vs " << c.B;
}

TEST_F(StringTest, ToLowerInPlaceLowerCasesTheWholeText)
{
    CWideString text(L"C:\\Program Files\\\x00C9T\x00C9.ZIP");
    text.ToLowerInPlace();
    EXPECT_EQ(CWideString(L"c:\\program files\\\x00E9t\x00E9.zip"), text);
}

TEST_F(StringTest, AppendingAStringToItselfDoublesIt)
{
    // Growing frees the old buffer; the source must be read from the new one.
    AllocHooks::SetGuarded(true);
    CWideString text(L"abc");
    text.Append(text);
    EXPECT_EQ(CWideString(L"abcabc"), text);
    text.Append(text.Ptr() + 4);
    EXPECT_EQ(CWideString(L"abcabcbc"), text);
    text = text.Ptr() + 3;
    EXPECT_EQ(CWideString(L"abcbc"), text);
}

TEST_F(StringTest, BufferForWriteAndCommitBuffer)
{
    CWideString text;
    wchar_t* buffer = text.BufferForWrite(10);
    EXPECT_EQ(11, text.Capacity());
    wcscpy(buffer, L"hello");
    text.CommitBuffer();
    EXPECT_EQ(5, text.Length());
    text.CommitBuffer(3);
    EXPECT_EQ(CWideString(L"hel"), text);
    text.BufferForWrite(5);
    EXPECT_EQ(11, text.Capacity()); // no change below the capacity

    // A buffer the system left unterminated is read only up to its capacity.
    buffer = text.BufferForWrite(10);
    for (int i = 0; i < text.Capacity(); i++)
        buffer[i] = L'x';
    text.CommitBuffer();
    EXPECT_EQ(10, text.Length());
    EXPECT_EQ(0, text.Ptr()[10]);
}

TEST_F(StringTest, FailedAllocationThrowsAndLeavesTheStringAsItWas)
{
    const struct
    {
        const char* What;
        void (*Change)(CWideString& text, const CWideString& other);
    } operations[] = {
        {"append", [](CWideString& s, const CWideString& other) { s.Append(other); }},
        {"append unit", [](CWideString& s, const CWideString&) { s.Append(L'd'); }},
        {"append itself", [](CWideString& s, const CWideString&) { s.Append(s); }},
        {"assign longer", [](CWideString& s, const CWideString&) { s = L"a different text"; }},
        {"assign shorter", [](CWideString& s, const CWideString&) { s = L"a"; }},
        {"insert", [](CWideString& s, const CWideString& other) { s.InsertAt(1, other); }},
        {"buffer", [](CWideString& s, const CWideString&) { s.BufferForWrite(100); }},
    };
    const CWideString other(L"XYZ");
    for (const auto& operation : operations)
    {
        CWideString text(L"abc");
        AllocHooks::FailNth(1);
        EXPECT_THROW(operation.Change(text, other), CNewException) << operation.What;
        AllocHooks::FailNth(0);
        EXPECT_EQ(CWideString(L"abc"), text) << operation.What;
        EXPECT_EQ(4, text.Capacity()) << operation.What;
    }
}
