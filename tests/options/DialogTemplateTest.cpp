#include "TestSupport.h"

#include "resources/ResourceIds.h"
#include "server/Module.h"

#include <windows.h>

#include <string>
#include <vector>

// The page templates as compiled into the module, read back from the resource bytes.
namespace
{
struct CTemplateItem
{
    DWORD Style;
    short X, Y, Width, Height;
    DWORD Id;
    std::wstring Class;
    std::wstring Text;
};

struct CTemplate
{
    DWORD Style = 0;
    short X = 0, Y = 0, Width = 0, Height = 0;
    std::wstring Caption;
    WORD PointSize = 0;
    std::wstring Font;
    std::vector<CTemplateItem> Items;
};

class CReader
{
public:
    explicit CReader(const BYTE* bytes) : _start(bytes), _at(bytes) {}
    template <typename T> T Take()
    {
        T value;
        memcpy(&value, _at, sizeof(T));
        _at += sizeof(T);
        return value;
    }
    // A name or an ordinal (0xFFFF followed by the number).
    std::wstring TakeNameOrOrdinal()
    {
        const WORD first = Take<WORD>();
        if (first == 0xFFFF)
        {
            const WORD ordinal = Take<WORD>();
            switch (ordinal)
            {
            case 0x80:
                return L"Button";
            case 0x81:
                return L"Edit";
            case 0x82:
                return L"Static";
            default:
                return L"#" + std::to_wstring(ordinal);
            }
        }
        std::wstring text;
        for (WORD unit = first; unit != 0; unit = Take<WORD>())
            text += static_cast<wchar_t>(unit);
        return text;
    }
    void AlignToDword()
    {
        while ((_at - _start) % 4 != 0)
            _at++;
    }
    void Skip(size_t count) { _at += count; }

private:
    const BYTE* _start;
    const BYTE* _at;
};

bool LoadTemplate(UINT id, CTemplate& result)
{
    HRSRC resource = FindResourceW(g_ModuleInstance, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    if (resource == nullptr)
        return false;
    const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(g_ModuleInstance, resource)));
    CReader reader(bytes);
    if (reader.Take<WORD>() != 1 || reader.Take<WORD>() != 0xFFFF)
        return false;     // not an extended template
    reader.Take<DWORD>(); // help id
    reader.Take<DWORD>(); // extended style
    result.Style = reader.Take<DWORD>();
    const WORD count = reader.Take<WORD>();
    result.X = reader.Take<short>();
    result.Y = reader.Take<short>();
    result.Width = reader.Take<short>();
    result.Height = reader.Take<short>();
    reader.TakeNameOrOrdinal(); // menu
    reader.TakeNameOrOrdinal(); // class
    result.Caption = reader.TakeNameOrOrdinal();
    result.PointSize = reader.Take<WORD>();
    reader.Take<WORD>(); // weight
    reader.Take<BYTE>(); // italic
    reader.Take<BYTE>(); // character set
    result.Font = reader.TakeNameOrOrdinal();
    for (WORD i = 0; i < count; i++)
    {
        reader.AlignToDword();
        CTemplateItem item;
        reader.Take<DWORD>(); // help id
        reader.Take<DWORD>(); // extended style
        item.Style = reader.Take<DWORD>();
        item.X = reader.Take<short>();
        item.Y = reader.Take<short>();
        item.Width = reader.Take<short>();
        item.Height = reader.Take<short>();
        item.Id = reader.Take<DWORD>();
        item.Class = reader.TakeNameOrOrdinal();
        item.Text = reader.TakeNameOrOrdinal();
        reader.Skip(reader.Take<WORD>());
        result.Items.push_back(item);
    }
    return true;
}

void ExpectItems(const CTemplate& dialog, const std::vector<CTemplateItem>& expected)
{
    ASSERT_EQ(expected.size(), dialog.Items.size());
    for (size_t i = 0; i < expected.size(); i++)
    {
        const CTemplateItem& want = expected[i];
        const CTemplateItem& have = dialog.Items[i];
        SCOPED_TRACE(testing::Message() << "control " << want.Id);
        EXPECT_EQ(want.Id, have.Id);
        // Class names are case-insensitive; the resource compiler may store them either way.
        EXPECT_EQ(0, lstrcmpiW(want.Class.c_str(), have.Class.c_str())) << "class";
        EXPECT_EQ(want.Text, have.Text);
        EXPECT_EQ(want.Style, have.Style) << std::hex << have.Style;
        EXPECT_EQ(want.X, have.X);
        EXPECT_EQ(want.Y, have.Y);
        EXPECT_EQ(want.Width, have.Width);
        EXPECT_EQ(want.Height, have.Height);
    }
}

class DialogTemplates : public CModuleTest
{
};
} // namespace

TEST_F(DialogTemplates, SystemPageInTabOrder)
{
    CTemplate dialog;
    ASSERT_TRUE(LoadTemplate(IDD_SYSTEM_PAGE, dialog));
    EXPECT_EQ(0x48C00048u, dialog.Style);
    EXPECT_EQ(L"System", dialog.Caption);
    EXPECT_EQ(210, dialog.Width);
    EXPECT_EQ(178, dialog.Height);
    EXPECT_EQ(8, dialog.PointSize);
    EXPECT_EQ(L"MS Shell Dlg", dialog.Font);
    ExpectItems(dialog, {
                            {0x50010003, 7, 7, 196, 10, 1010, L"Button", L"Integrate Vantor to shell context menu"},
                            {0x50010003, 7, 21, 196, 10, 1011, L"Button", L"Cascaded context menu"},
                            {0x50020000, 7, 37, 196, 8, 1020, L"Static", L"Context menu items:"},
                            {0x50814005, 7, 50, 196, 121, 1022, L"SysListView32", L"List1"},
                        });
}

TEST_F(DialogTemplates, FoldersPageInTabOrder)
{
    CTemplate dialog;
    ASSERT_TRUE(LoadTemplate(IDD_FOLDERS_PAGE, dialog));
    EXPECT_EQ(0x48C00048u, dialog.Style);
    EXPECT_EQ(L"Folders", dialog.Caption);
    EXPECT_EQ(210, dialog.Width);
    EXPECT_EQ(154, dialog.Height);
    EXPECT_EQ(8, dialog.PointSize);
    EXPECT_EQ(L"MS Shell Dlg", dialog.Font);
    ExpectItems(dialog, {
                            {0x50000007, 7, 7, 196, 98, 1001, L"Button", L"&Working folder"},
                            {0x50020009, 14, 20, 182, 10, 1011, L"Button", L"&System temp folder"},
                            {0x50000009, 14, 34, 182, 10, 1012, L"Button", L"&Current"},
                            {0x50000009, 14, 48, 182, 10, 1013, L"Button", L"Specified:"},
                            {0x50810080, 24, 63, 142, 14, 1014, L"Edit", L""},
                            {0x50010000, 176, 63, 20, 14, 1015, L"Button", L"..."},
                            {0x50010003, 14, 87, 182, 10, 1017, L"Button", L"Use for removable drives only"},
                        });
}
