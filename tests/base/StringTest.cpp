#include "BaseTest.h"

#include "base/TextConvert.h"

using StringTest = CModuleTest;

TEST_F(StringTest, TextsStayWithinTheirBoundsAndCompareOrdinallyOrIgnoringCase)
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
    // {a, b, ordinal over unsigned units, ignoring case (upper-cases only the units that differ):
    // '[' (0x5B) is above 'A' (0x41), so above a's upper case}
    const std::tuple<const wchar_t*, const wchar_t*, int, int> cases[] = {
        {L"ab", L"a", 1, 1}, {L"", L"a", -1, -1},        {L"", L"", 0, 0},         {L"\xFFFF", L"a", 1, 1},
        {L"a", L"B", 1, -1}, {L"Part1", L"PART1", 1, 0}, {L"\xE9", L"\xC9", 1, 0}, {L"[", L"a", -1, 1}};
    for (const auto& [a, b, ordinal, ignoringCase] : cases)
        EXPECT_EQ(std::make_pair(ordinal, ignoringCase),
                  std::make_pair(CWideString(a).Compare(b), CWideString(a).CompareIgnoreCase(b)))
            << CWideString(a) << " vs " << CWideString(b);
    EXPECT_EQ(1, CNarrowString("\xE9").Compare("z")); // bytes compare unsigned too
    CWideString path(L"C:\\\x00C9T\x00C9.ZIP");
    path.ToLowerInPlace();
    EXPECT_EQ(CWideString(L"c:\\\x00E9t\x00E9.zip"), path);
}

TEST_F(StringTest, CapacitiesBuffersAndConversions)
{
    // A text takes what it needs; one more unit grows it by 4, by 16 above 8 and by half above 64,
    // more units at once by just what is missing.
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
    const std::tuple<const wchar_t*, char, const char*, bool> cases[] = {
        {L"caf\x00E9\x20AC", '_', "caf\xE9\x80", false},
        {L"a\x4E2Dz", '#', "a#z", true},
        {L"a\x03A9z", '_', "a_z", true},
        {L"-o\xFF02\x0043:\xFF3C", '_', "-o_C:_", true},
        {L"\xD83D\xDE00!", '_', "_!", true}};
    for (const auto& [text, replacement, expected, replaced] : cases)
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
