#include "BaseTest.h"

#include "base/TextConvert.h"

#include <string>

using TextConvertTest = CModuleTest;

TEST_F(TextConvertTest, Utf8ToWideDecodesAndStopsWhereTheSystemSays)
{
    // {bytes, valid, units decoded}
    const std::tuple<const char*, bool, std::wstring> cases[] = {
        {"Lang", true, L"Lang"},
        {"\xC3\xA9", true, L"\x00E9"},
        {"\xE2\x82\xAC", true, L"\x20AC"},
        {"\xF0\x9F\x98\x80", true, L"\xD83D\xDE00"}, // outside the basic plane
        {"\xF4\x8F\xBF\xBF", true, L"\xDBFF\xDFFF"}, // the highest code point
        {"\x80", false, L""},                        // a lone continuation byte
        {"a\xBF\x62", false, L"a"},
        {"\xC3\x41", true, std::wstring(1, L'\x0003')}, // a short sequence; the byte that cut it is dropped
        {"x\xE2\x82", true, L"x\x0082"},
        {"\xF4\x90\x80\x80", false, L""},                   // beyond the last code point
        {"\xC0\xAF", true, L"/"},                           // overlong forms are accepted
        {"\xED\xA0\x80", true, std::wstring(1, L'\xD800')}, // so are encoded surrogates
        {"", true, L""},
    };
    for (const auto& [bytes, valid, expected] : cases)
    {
        CWideString result;
        EXPECT_EQ(valid, Utf8ToWide(CNarrowString(bytes), result)) << testing::PrintToString(bytes);
        EXPECT_EQ(expected, std::wstring(result.Ptr(), result.Length())) << testing::PrintToString(bytes);
    }
}

TEST_F(TextConvertTest, UnmappableCharactersBecomeTheReplacementAndAreReported)
{
    // Code page 1252 has no Chinese characters; for an omega and the full-width quote and backslash
    // the system's best fit would give "O", '"' and '\\', which are other names or syntax.
    const std::tuple<const wchar_t*, char, const char*, bool> cases[] = {
        {L"caf\x00E9", '_', "caf\xE9", false},
        {L"\x20AC", '_', "\x80", false},
        {L"a\x4E2Dz", '_', "a_z", true},
        {L"\x4E2D\x6587", '_', "__", true},
        {L"a\x4E2Dz", '#', "a#z", true},
        {L"a\x03A9z", '_', "a_z", true},
        {L"-o\xFF02\x0043:\xFF3C", '_', "-o_C:_", true},
        {L"\xD83D\xDE00!", '_', "_!", true},
    };
    for (const auto& [text, replacement, expected, replaced] : cases)
    {
        bool used = !replaced;
        EXPECT_EQ(CNarrowString(expected), MultiByteFromWide(CWideString(text), 1252, replacement, &used));
        EXPECT_EQ(replaced, used) << text;
        EXPECT_TRUE(replacement != '_' || CNarrowString(expected) == MultiByteFromWide(CWideString(text), 1252));
    }
}

TEST_F(TextConvertTest, EmptyTextNeverFailsAndRefusedConversionsThrowTheirCodes)
{
    // Code page 12345 does not exist: every non-empty conversion is refused.
    bool replaced = true;
    EXPECT_TRUE(WideFromMultiByte(CNarrowString(), 12345).IsEmpty());
    EXPECT_TRUE(MultiByteFromWide(CWideString(), 12345, '_', &replaced).IsEmpty());
    EXPECT_FALSE(replaced);
    EXPECT_EQ(0x44E74, ThrownCode([] { WideFromMultiByte(CNarrowString("abc"), 12345); }));
    EXPECT_EQ(0x44E75, ThrownCode([] { MultiByteFromWide(CWideString(L"abc"), 12345); }));

    // An exhausted heap throws its own exception and leaves the input as it was.
    const CNarrowString narrow("abc");
    AllocHooks::FailNth(1);
    EXPECT_THROW(WideFromSystemText(narrow), CNewException);
    AllocHooks::FailNth(0);
    EXPECT_EQ(CNarrowString("abc"), narrow);
}

TEST_F(TextConvertTest, FileNamesFollowTheFileApiCodePageAndOtherTextTheAnsiCodePage)
{
    // e-acute is 0xE9 in the ANSI code page 1252 and 0x82 in the OEM code page 437.
    const CWideString name(L"caf\x00E9");
    for (bool oem : {false, true})
    {
        COemFileApisScope scope(oem);
        const CNarrowString fileBytes(oem ? "caf\x82" : "caf\xE9");
        EXPECT_EQ(static_cast<UINT>(oem ? CP_OEMCP : CP_ACP), FileApiCodePage());
        EXPECT_EQ(fileBytes, FileApiTextFromWide(name));
        EXPECT_EQ(name, WideFromFileApiText(fileBytes));
        EXPECT_EQ(CNarrowString("caf\xE9"), SystemTextFromWide(name));
        EXPECT_EQ(name, WideFromSystemText(CNarrowString("caf\xE9")));
    }
    EXPECT_EQ(static_cast<UINT>(CP_ACP), FileApiCodePage()); // asked anew each time
}

TEST_F(TextConvertTest, CharToUpperMapsOneUnit)
{
    const wchar_t cases[][2] = {{0, 0},         {L'a', L'A'},           {L'Z', L'Z'},          {L'1', L'1'},
                                {L'\\', L'\\'}, {L'\x00E9', L'\x00C9'}, {L'\x03C9', L'\x03A9'}};
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<int>(c[1]), static_cast<int>(CharToUpper(c[0]))) << static_cast<int>(c[0]);
}
