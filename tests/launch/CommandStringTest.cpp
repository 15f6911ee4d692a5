#include "LaunchTestSupport.h"

using CommandStringTest = CModuleTest;

TEST_F(CommandStringTest, AnswersEveryRequestWithinTheBuffer)
{
    CProductSettings settings(true, 0x3F37);
    CScratchFolder work;
    CHandlerUnderTest handler;
    handler.Select({work.AddFile(L"report.zip").Ptr()});
    // Cascaded: offset 0 is the submenu, 1 to 11 the commands.
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), handler.BuildMenu());
    // Help texts as a language file may give them: a character outside the basic plane, and
    // characters code page 1252 has no form for.
    handler.Object().CommandMap[2].HelpText = L"ab\xD83D\xDE00\x4E2D";
    handler.Object().CommandMap[3].HelpText = L"ab\x4E2D\x6587\x00E9";
    // Asks for a text into a buffer of `size` units followed by a guard region, which must come
    // back untouched whatever the answer.
    const auto ask = [&](int offset, UINT type, UINT size, std::wstring& text)
    {
        const size_t unit = (type & GCS_UNICODE) != 0 ? sizeof(wchar_t) : 1;
        std::vector<BYTE> buffer(size * unit + 32, 0xCD);
        const HRESULT result =
            handler.Object().GetCommandString(static_cast<UINT_PTR>(static_cast<INT_PTR>(offset)), type, nullptr,
                                              reinterpret_cast<LPSTR>(&buffer[0]), size);
        for (size_t i = size * unit; i < buffer.size(); i++)
            EXPECT_EQ(0xCD, buffer[i]) << "written past the buffer at byte " << i;
        text.clear();
        for (size_t i = 0; result == S_OK && size > 0 && (unit == 1 ? buffer[i] : buffer[i] | buffer[i + 1]); i += unit)
            text += static_cast<wchar_t>(unit == 1 ? buffer[i] : buffer[i] | buffer[i + 1] << 8); // 1252 below 0x80
        return result;
    };
    struct
    {
        int Offset;
        UINT Type, Size;
        HRESULT Result;
        const wchar_t* Text;
    } const cases[] = {
        // Validation: in range or not, the offset read as a signed number.
        {0, GCS_VALIDATEW, 0, S_OK, L""},
        {11, GCS_VALIDATEA, 0, S_OK, L""},
        {12, GCS_VALIDATEW, 0, S_FALSE, L""},
        {-1, GCS_VALIDATEA, 0, S_FALSE, L""},
        {static_cast<int>(0x80000000), GCS_VALIDATEW, 0, S_FALSE, L""},
        // Verbs and help texts.
        {0, GCS_VERBW, 64, S_OK, L"Vantor"},
        {0, GCS_HELPTEXTW, 64, S_OK, L"Vantor commands"},
        {1, GCS_VERBA, 64, S_OK, L"VantorOpen"},
        {1, GCS_HELPTEXTA, 64, S_OK, L"Opens the selected archive."},
        {4, GCS_VERBW, 64, S_OK, L"VantorExtractTo"},
        {4, GCS_HELPTEXTW, 64, S_OK, L"Extracts files to subfolder."},
        {9, GCS_VERBA, 64, S_OK, L"VantorCompressToVNTXEmail"},
        {11, GCS_HELPTEXTA, 128, S_OK, L"Compresses the selected items to archive and sends archive via email."},
        // Outside the map, and request types the handler does not answer.
        {12, GCS_HELPTEXTW, 64, E_FAIL, L""},
        {12, GCS_VERBA, 64, E_FAIL, L""},
        {-1, GCS_VERBW, 64, E_FAIL, L""},
        {1, 3, 64, E_FAIL, L""},
        {1, 7, 64, E_FAIL, L""},
        {1, 0x14 /* GCS_VERBICONW */, 64, E_FAIL, L""},
        // Small buffers: "VantorOpen" needs 11 units with its terminator, "Vantor commands" 16. A
        // verb that does not fit is refused (cut, it would name another command); help is cut.
        {1, GCS_VERBW, 11, S_OK, L"VantorOpen"},
        {1, GCS_VERBA, 11, S_OK, L"VantorOpen"},
        {1, GCS_VERBW, 10, E_FAIL, L""},
        {1, GCS_VERBA, 10, E_FAIL, L""},
        {1, GCS_VERBW, 0, E_FAIL, L""},
        {0, GCS_HELPTEXTW, 16, S_OK, L"Vantor commands"},
        {0, GCS_HELPTEXTW, 15, S_OK, L"Vantor command"},
        {0, GCS_HELPTEXTA, 5, S_OK, L"Vant"},
        {0, GCS_HELPTEXTW, 1, S_OK, L""},
        {0, GCS_HELPTEXTA, 0, E_FAIL, L""},
        {0, GCS_HELPTEXTW, 0, E_FAIL, L""},
        // No character is cut in half; what the code page lacks becomes "_".
        {2, GCS_HELPTEXTW, 6, S_OK, L"ab\xD83D\xDE00\x4E2D"},
        {2, GCS_HELPTEXTW, 5, S_OK, L"ab\xD83D\xDE00"},
        {2, GCS_HELPTEXTW, 4, S_OK, L"ab"},
        {3, GCS_HELPTEXTA, 64, S_OK, L"ab__\x00E9"},
        {3, GCS_HELPTEXTA, 4, S_OK, L"ab_"},
    };
    std::wstring text;
    for (const auto& item : cases)
    {
        SCOPED_TRACE(testing::Message() << item.Offset << " type " << item.Type << " size " << item.Size);
        EXPECT_EQ(item.Result, ask(item.Offset, item.Type, item.Size, text));
        EXPECT_EQ(item.Text, text);
    }
    // No buffer at all; no memory for the ANSI conversion.
    EXPECT_EQ(E_FAIL, handler.Object().GetCommandString(1, GCS_VERBW, nullptr, nullptr, 64));
    EXPECT_EQ(E_FAIL, handler.Object().GetCommandString(1, GCS_HELPTEXTA, nullptr, nullptr, 64));
    AllocHooks::FailNth(1);
    EXPECT_EQ(E_OUTOFMEMORY, ask(1, GCS_HELPTEXTA, 64, text));
    AllocHooks::FailNth(0);
}
