#include "TestSupport.h"

#include "base/TextConvert.h"

class TextConvertTest : public CModuleTest
{
};

namespace
{
// Switches the file APIs to the OEM code page for one scope.
class COemFileApisScope
{
public:
    COemFileApisScope() { SetFileApisToOEM(); }
    ~COemFileApisScope() { SetFileApisToANSI(); }
};

CNarrowString Bytes(std::initializer_list<unsigned char> bytes)
{
    CNarrowString text;
    for (unsigned char b : bytes)
        text.Append(static_cast<char>(b));
    return text;
}
} // namespace

TEST_F(TextConvertTest, Utf8ToWideDecodesAndStopsWhereTheSystemSays)
{
    const struct
    {
        const char* What;
        CNarrowString Input;
        bool Valid;
        std::wstring Expected;
    } cases[] = {
        {"ascii", Bytes({'L', 'a', 'n', 'g'}), true, L"Lang"},
        {"two bytes", Bytes({0xC3, 0xA9}), true, L"\x00E9"},
        {"euro sign", Bytes({0xE2, 0x82, 0xAC}), true, L"\x20AC"},
        {"outside the basic plane", Bytes({0xF0, 0x9F, 0x98, 0x80}), true, L"\xD83D\xDE00"},
        {"highest code point", Bytes({0xF4, 0x8F, 0xBF, 0xBF}), true, L"\xDBFF\xDFFF"},
        {"lone continuation byte", Bytes({0x80}), false, L""},
        {"continuation byte after text", Bytes({'a', 0xBF, 'b'}), false, L"a"},
        {"short sequence: the cutting byte is dropped", Bytes({0xC3, 0x41}), true, std::wstring(1, L'\x0003')},
        {"short sequence at the end", Bytes({'x', 0xE2, 0x82}), true, L"x\x0082"},
        {"beyond the last code point", Bytes({0xF4, 0x90, 0x80, 0x80}), false, L""},
        {"overlong form accepted", Bytes({0xC0, 0xAF}), true, L"/"},
        {"encoded surrogate accepted", Bytes({0xED, 0xA0, 0x80}), true, std::wstring(1, L'\xD800')},
        {"empty", CNarrowString(), true, L""},
    };
    for (const auto& c : cases)
    {
        CWideString result;
        EXPECT_EQ(c.Valid, Utf8ToWide(c.Input, result)) << c.What;
        EXPECT_EQ(std::wstring(result.Ptr(), result.Length()), c.Expected) << c.What;
        EXPECT_EQ(static_cast<int>(c.Expected.size()), result.Length()) << c.What;
    }
}

TEST_F(TextConvertTest, UnmappableCharactersBecomeTheReplacementAndAreReported)
{
    const struct
    {
        const wchar_t* Text;
        const char* Expected;
        bool Replaced;
    } cases[] = {
        {L"caf\x00E9", "caf\xE9", false},
        {L"\x20AC", "\x80", false},
        {L"a\x4E2Dz", "a_z", true}, // a Chinese character: no best fit in code page 1252 either
        {L"\x4E2D\x6587", "__", true},
    };
    for (const auto& c : cases)
    {
        bool replaced = !c.Replaced;
        const CNarrowString narrow = MultiByteFromWide(CWideString(c.Text), 1252, '_', &replaced);
        EXPECT_EQ(CNarrowString(c.Expected), narrow) << c.Text;
        EXPECT_EQ(c.Replaced, replaced) << c.Text;
        EXPECT_EQ(CNarrowString(c.Expected), MultiByteFromWide(CWideString(c.Text), 1252)) << c.Text;
    }
    bool replaced = false;
    EXPECT_EQ(CNarrowString("a#z"), MultiByteFromWide(CWideString(L"a\x4E2Dz"), 1252, '#', &replaced));
    EXPECT_TRUE(replaced);
    // Where the code page has a close form, the system's best fit is used instead.
    EXPECT_EQ(CNarrowString("aOz"), MultiByteFromWide(CWideString(L"a\x03A9z"), 1252, '_', &replaced));
    EXPECT_FALSE(replaced);
}

TEST_F(TextConvertTest, EmptyTextNeverFailsAndRefusedConversionsThrowTheirCodes)
{
    // Code page 12345 does not exist: every non-empty conversion is refused.
    bool replaced = true;
    EXPECT_TRUE(WideFromMultiByte(CNarrowString(), 12345).IsEmpty());
    EXPECT_TRUE(MultiByteFromWide(CWideString(), 12345, '_', &replaced).IsEmpty());
    EXPECT_FALSE(replaced);
    try
    {
        WideFromMultiByte(CNarrowString("abc"), 12345);
        ADD_FAILURE() << "no exception";
    }
    catch (int code)
    {
        EXPECT_EQ(0x44E74, code);
    }
    try
    {
        MultiByteFromWide(CWideString(L"abc"), 12345);
        ADD_FAILURE() << "no exception";
    }
    catch (int code)
    {
        EXPECT_EQ(0x44E75, code);
    }
}

TEST_F(TextConvertTest, FileNamesFollowTheFileApiCodePageAndOtherTextTheAnsiCodePage)
{
    // e-acute is 0xE9 in the ANSI code page 1252 and 0x82 in the OEM code page 437.
    const CWideString name(L"caf\x00E9");
    EXPECT_EQ(static_cast<UINT>(CP_ACP), FileApiCodePage());
    EXPECT_EQ(CNarrowString("caf\xE9"), FileApiTextFromWide(name));
    {
        COemFileApisScope oem;
        EXPECT_EQ(static_cast<UINT>(CP_OEMCP), FileApiCodePage());
        EXPECT_EQ(CNarrowString("caf\x82"), FileApiTextFromWide(name));
        EXPECT_EQ(name, WideFromFileApiText(CNarrowString("caf\x82")));
        EXPECT_EQ(CNarrowString("caf\xE9"), SystemTextFromWide(name));
        EXPECT_EQ(name, WideFromSystemText(CNarrowString("caf\xE9")));
    }
    EXPECT_EQ(static_cast<UINT>(CP_ACP), FileApiCodePage());
    EXPECT_EQ(name, WideFromFileApiText(CNarrowString("caf\xE9")));
}

TEST_F(TextConvertTest, CharToUpperMapsOneUnit)
{
    const struct
    {
        wchar_t Unit;
        wchar_t Expected;
    } cases[] = {
        {0, 0},         {L'a', L'A'}, {L'Z', L'Z'}, {L'1', L'1'}, {L'\x00E9', L'\x00C9'}, {L'\x03C9', L'\x03A9'},
        {L'\\', L'\\'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<int>(c.Expected), static_cast<int>(CharToUpper(c.Unit))) << static_cast<int>(c.Unit);
}

TEST_F(TextConvertTest, ConversionsKeepTheirInputWhenTheHeapIsExhausted)
{
    const CNarrowString narrow("abc");
    AllocHooks::FailNth(1);
    EXPECT_THROW(WideFromSystemText(narrow), CNewException);
    AllocHooks::FailNth(0);
    EXPECT_EQ(CNarrowString("abc"), narrow);
}
