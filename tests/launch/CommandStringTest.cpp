#include "HandlerTestSupport.h"

#include "base/AllocHooks.h"
#include "server/Module.h"

#include <cstring>

namespace
{
const DWORD kAllCommands = 0x3F37;
const BYTE kGuard = 0xCD;
const size_t kGuardBytes = 32;

class CommandStringTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        // The menu lives as long as the fixture: its blocks are counted before the test starts.
        Handler.Select({Work.AddFile(L"report.zip").Ptr()});
        // Cascaded: offset 0 is the submenu, 1 to 11 the commands.
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), Handler.BuildMenu());
        CModuleTest::SetUp();
    }

    // Asks for a text into a buffer of `size` units followed by a guard region; the guard must
    // come back untouched whatever the answer.
    HRESULT Ask(int offset, UINT type, UINT size, std::wstring& text)
    {
        const bool wide = (type & GCS_UNICODE) != 0;
        const size_t unit = wide ? sizeof(wchar_t) : 1;
        std::vector<BYTE> buffer(size * unit + kGuardBytes, kGuard);
        const HRESULT result =
            Handler.Menu()->GetCommandString(static_cast<UINT_PTR>(static_cast<INT_PTR>(offset)), type, nullptr,
                                             reinterpret_cast<LPSTR>(buffer.data()), size);
        for (size_t i = size * unit; i < buffer.size(); i++)
            EXPECT_EQ(kGuard, buffer[i]) << "written past the buffer at byte " << i;
        text.clear();
        if (result == S_OK && size > 0)
        {
            if (wide)
                text = reinterpret_cast<const wchar_t*>(buffer.data());
            else
            {
                const char* narrow = reinterpret_cast<const char*>(buffer.data());
                for (size_t i = 0; narrow[i] != 0; i++)
                    text += static_cast<wchar_t>(static_cast<BYTE>(narrow[i])); // code page 1252 below 0x80
            }
        }
        return result;
    }

    CMenuSettingsScope Settings{true, kAllCommands};
    CScratchFolder Work;
    CHandlerUnderTest Handler;
};

struct CRequest
{
    int Offset;
    UINT Type;
    UINT Size;
    HRESULT Result;
    const wchar_t* Text;
};
} // namespace

TEST_F(CommandStringTest, AnswersEveryRequestType)
{
    const CRequest requests[] = {
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
    };
    for (const CRequest& request : requests)
    {
        std::wstring text;
        EXPECT_EQ(request.Result, Ask(request.Offset, request.Type, request.Size, text))
            << request.Offset << " type " << request.Type;
        EXPECT_EQ(request.Text, text) << request.Offset << " type " << request.Type;
    }
}

TEST_F(CommandStringTest, NeverWritesPastTheBuffer)
{
    // "VantorOpen" needs 11 units with its terminator; "Vantor commands" 16.
    const CRequest requests[] = {
        {1, GCS_VERBW, 11, S_OK, L"VantorOpen"},
        {1, GCS_VERBA, 11, S_OK, L"VantorOpen"},
        {1, GCS_VERBW, 10, E_FAIL, L""}, // a cut verb would name another command
        {1, GCS_VERBA, 10, E_FAIL, L""},
        {1, GCS_VERBW, 0, E_FAIL, L""},
        {0, GCS_HELPTEXTW, 16, S_OK, L"Vantor commands"},
        {0, GCS_HELPTEXTW, 15, S_OK, L"Vantor command"}, // help is cut to fit
        {0, GCS_HELPTEXTA, 5, S_OK, L"Vant"},
        {0, GCS_HELPTEXTW, 1, S_OK, L""},
        {0, GCS_HELPTEXTA, 0, E_FAIL, L""},
        {0, GCS_HELPTEXTW, 0, E_FAIL, L""},
    };
    for (const CRequest& request : requests)
    {
        std::wstring text;
        EXPECT_EQ(request.Result, Ask(request.Offset, request.Type, request.Size, text))
            << request.Offset << " type " << request.Type << " size " << request.Size;
        EXPECT_EQ(request.Text, text) << request.Offset << " type " << request.Type << " size " << request.Size;
    }
    EXPECT_EQ(E_FAIL, Handler.Menu()->GetCommandString(1, GCS_VERBW, nullptr, nullptr, 64));
    EXPECT_EQ(E_FAIL, Handler.Menu()->GetCommandString(1, GCS_HELPTEXTA, nullptr, nullptr, 64));
}

TEST_F(CommandStringTest, CutsNoCharacterInHalfAndReplacesWhatTheCodePageLacks)
{
    // A help text as a language file may give it: a character outside the basic plane, and
    // characters code page 1252 has no form for.
    Handler.Object().CommandMap[2].HelpText = L"ab\xD83D\xDE00\x4E2D";
    Handler.Object().CommandMap[3].HelpText = L"ab\x4E2D\x6587\x00E9";
    const CRequest requests[] = {
        {2, GCS_HELPTEXTW, 6, S_OK, L"ab\xD83D\xDE00\x4E2D"},
        {2, GCS_HELPTEXTW, 5, S_OK, L"ab\xD83D\xDE00"},
        {2, GCS_HELPTEXTW, 4, S_OK, L"ab"}, // not the high surrogate alone
        {3, GCS_HELPTEXTA, 64, S_OK, L"ab__\x00E9"},
        {3, GCS_HELPTEXTA, 4, S_OK, L"ab_"},
    };
    for (const CRequest& request : requests)
    {
        std::wstring text;
        EXPECT_EQ(request.Result, Ask(request.Offset, request.Type, request.Size, text)) << request.Size;
        EXPECT_EQ(request.Text, text) << request.Size;
    }
}

TEST_F(CommandStringTest, ExhaustedMemoryIsReported)
{
    std::wstring text;
    AllocHooks::FailNth(1); // the ANSI conversion's buffer
    EXPECT_EQ(E_OUTOFMEMORY, Ask(1, GCS_HELPTEXTA, 64, text));
    AllocHooks::FailNth(0);
    EXPECT_EQ(S_OK, Ask(1, GCS_HELPTEXTA, 64, text));
}
