// The page templates as compiled into the module, read back from the resource bytes.
#include "TestSupport.h"

#include "resources/ResourceIds.h"
#include "server/Module.h"

#include <string>
#include <vector>

namespace
{
DWORD TakeDword(const WORD*& at)
{
    DWORD value;
    memcpy(&value, at, sizeof(value));
    at += 2;
    return value;
}

// A name, or an ordinal (0xFFFF and the number) of a predefined class.
std::wstring TakeName(const WORD*& at)
{
    if (*at == 0xFFFF)
    {
        at += 2;
        return at[-1] == 0x80 ? L"button" : at[-1] == 0x81 ? L"edit" : at[-1] == 0x82 ? L"static" : L"#";
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(at));
    at += text.size() + 1;
    return text;
}

// "id class "text" style x,y,width,height" for the dialog (id 0, "size,font" as class, the
// caption as text) and then each control; class names in lower case, as the resource compiler
// may store them either way.
std::vector<std::wstring> ReadTemplate(UINT id)
{
    HRSRC resource = FindResourceW(g_ModuleInstance, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    const WORD* start =
        resource ? static_cast<const WORD*>(LockResource(LoadResource(g_ModuleInstance, resource))) : nullptr;
    if (start == nullptr || start[0] != 1 || start[1] != 0xFFFF)
        return {};              // not an extended template
    const WORD* at = start + 6; // signature, help id, extended style
    const DWORD style = TakeDword(at);
    const WORD count = *at++;
    const WORD* rect = at;
    at += 4;
    TakeName(at); // menu
    TakeName(at); // class
    const std::wstring caption = TakeName(at);
    const WORD pointSize = *at;
    at += 3; // point size, weight, italic and character set
    wchar_t line[512];
    wsprintfW(line, L"0 %d,%s \"%s\" %08lX %d,%d,%d,%d", pointSize, TakeName(at).c_str(), caption.c_str(), style,
              rect[0], rect[1], rect[2], rect[3]);
    std::vector<std::wstring> lines(1, line);
    for (WORD i = 0; i < count; i++)
    {
        at = start + ((at - start + 1) & ~1) + 4; // DWORD alignment, help id, extended style
        const DWORD itemStyle = TakeDword(at);
        rect = at;
        at += 4;
        const DWORD itemId = TakeDword(at);
        std::wstring className = TakeName(at);
        CharLowerW(&className[0]);
        const std::wstring text = TakeName(at);
        at += 1 + (*at + 1) / 2; // creation data
        wsprintfW(line, L"%lu %s \"%s\" %08lX %d,%d,%d,%d", itemId, className.c_str(), text.c_str(), itemStyle, rect[0],
                  rect[1], rect[2], rect[3]);
        lines.push_back(line);
    }
    return lines;
}

using DialogTemplates = CModuleTest;
} // namespace

TEST_F(DialogTemplates, PagesInTabOrder)
{
    const std::vector<std::wstring> system = {
        L"0 8,MS Shell Dlg \"System\" 48C00048 0,0,210,178",
        L"1010 button \"Integrate Vantor to shell context menu\" 50010003 7,7,196,10",
        L"1011 button \"Cascaded context menu\" 50010003 7,21,196,10",
        L"1020 static \"Context menu items:\" 50020000 7,37,196,8",
        L"1022 syslistview32 \"List1\" 50814005 7,50,196,121",
    };
    const std::vector<std::wstring> folders = {
        L"0 8,MS Shell Dlg \"Folders\" 48C00048 0,0,210,154",
        L"1001 button \"&Working folder\" 50000007 7,7,196,98",
        L"1011 button \"&System temp folder\" 50020009 14,20,182,10",
        L"1012 button \"&Current\" 50000009 14,34,182,10",
        L"1013 button \"Specified:\" 50000009 14,48,182,10",
        L"1014 edit \"\" 50810080 24,63,142,14",
        L"1015 button \"...\" 50010000 176,63,20,14",
        L"1017 button \"Use for removable drives only\" 50010003 14,87,182,10",
    };
    EXPECT_EQ(system, ReadTemplate(IDD_SYSTEM_PAGE));
    EXPECT_EQ(folders, ReadTemplate(IDD_FOLDERS_PAGE));
}
