#include "MenuListing.h"
#include "Output.h"

#include <algorithm>

namespace
{
// Control characters would break the table; the rest of a text is shown as the system holds it.
std::wstring Printable(const std::wstring& text)
{
    std::wstring result;
    for (wchar_t c : text)
    {
        if (c == L'\t')
            result += L"\\t";
        else if (c == L'\n')
            result += L"\\n";
        else if (c == L'\r')
            result += L"\\r";
        else if (c < 0x20)
            result += L"?";
        else
            result += c;
    }
    return result;
}

void ReadLevel(HMENU menu, int depth, const CHandlerSet& handlers, std::vector<CMenuLine>& lines)
{
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; position++)
    {
        CMenuLine line;
        line.Depth = depth;

        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info))
            continue;
        std::wstring text;
        if (info.cch != 0)
        {
            std::vector<wchar_t> buffer(info.cch + 1, L'\0');
            info.dwTypeData = buffer.data();
            info.cch = static_cast<UINT>(buffer.size());
            if (GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info))
                text = buffer.data();
        }

        line.Separator = (info.fType & MFT_SEPARATOR) != 0;
        line.Submenu = info.hSubMenu != nullptr;
        line.Grayed = (info.fState & MFS_GRAYED) != 0;
        line.Checked = (info.fState & MFS_CHECKED) != 0;
        line.Id = info.wID;
        line.HasId = !line.Separator;
        line.Text = Printable(text);
        line.Verb = L"-";
        line.Help = L"-";

        UINT offset = 0;
        const CLoadedHandler* owner = line.HasId ? handlers.OwnerOf(line.Id, offset) : nullptr;
        if (owner != nullptr)
        {
            std::wstring value;
            if (CHandlerSet::CommandString(*owner, offset, GCS_VERBW, value))
                line.Verb = Printable(value);
            if (CHandlerSet::CommandString(*owner, offset, GCS_HELPTEXTW, value))
                line.Help = Printable(value);
        }
        lines.push_back(line);
        if (line.Submenu)
            ReadLevel(info.hSubMenu, depth + 1, handlers, lines);
    }
}

std::wstring ShownText(const CMenuLine& line)
{
    if (line.Separator)
        return std::wstring(static_cast<size_t>(line.Depth) * 2, L' ') + L"-----";
    std::wstring text = std::wstring(static_cast<size_t>(line.Depth) * 2, L' ') + line.Text;
    if (line.Submenu)
        text += L" >";
    if (line.Grayed)
        text += L" (disabled)";
    if (line.Checked)
        text += L" (checked)";
    return text;
}
} // namespace

std::vector<CMenuLine> ReadMenuTree(HMENU menu, const CHandlerSet& handlers)
{
    std::vector<CMenuLine> lines;
    ReadLevel(menu, 0, handlers, lines);
    return lines;
}

std::wstring FormatMenuTree(const std::vector<CMenuLine>& lines)
{
    if (lines.empty())
        return L"Menu: (no items)\n";

    size_t idWidth = 2;
    size_t textWidth = 4;
    size_t verbWidth = 4;
    std::vector<std::wstring> ids;
    for (const CMenuLine& line : lines)
    {
        wchar_t id[16] = L"";
        if (line.HasId)
            wsprintfW(id, L"%u", line.Id);
        ids.push_back(id);
        idWidth = std::max(idWidth, ids.back().size());
        textWidth = std::max(textWidth, ShownText(line).size());
        verbWidth = std::max(verbWidth, line.Verb.size());
    }

    std::wstring out = L"Menu:\n";
    out += L"  " + PadRight(L"id", idWidth) + L"  " + PadRight(L"text", textWidth) + L"  " +
           PadRight(L"verb", verbWidth) + L"  help text\n";
    for (size_t i = 0; i < lines.size(); i++)
    {
        const CMenuLine& line = lines[i];
        std::wstring row = L"  " + std::wstring(idWidth - ids[i].size(), L' ') + ids[i] + L"  ";
        if (line.Separator)
        {
            row += ShownText(line);
        }
        else
        {
            row += PadRight(ShownText(line), textWidth) + L"  " + PadRight(line.Verb, verbWidth) + L"  " + line.Help;
        }
        while (!row.empty() && row.back() == L' ')
            row.pop_back();
        out += row + L"\n";
    }
    return out;
}

const CMenuLine* FindLineByVerb(const std::vector<CMenuLine>& lines, const std::wstring& verb)
{
    for (const CMenuLine& line : lines)
    {
        if (line.HasId && line.Verb == verb)
            return &line;
    }
    return nullptr;
}

std::vector<UINT> PlanMenuKeys(const std::vector<CMenuLine>& lines, const std::wstring& highlightVerb)
{
    std::vector<UINT> keys;
    size_t submenu = lines.size();
    for (size_t i = 0; i < lines.size(); i++)
    {
        if (lines[i].Depth == 0 && lines[i].Submenu && lines[i].Verb != L"-")
        {
            submenu = i;
            break;
        }
    }

    // Top level: the first press highlights the first item; separators are skipped.
    int topPresses = 0;
    size_t stop = submenu;
    if (submenu == lines.size())
    {
        // A flat menu: go straight to the highlighted item, or to the handler's first item.
        stop = lines.size();
        for (size_t i = 0; i < lines.size(); i++)
        {
            if (lines[i].Depth == 0 && lines[i].Verb != L"-" &&
                (highlightVerb.empty() || lines[i].Verb == highlightVerb))
            {
                stop = i;
                break;
            }
        }
        if (stop == lines.size())
            return keys;
    }
    for (size_t i = 0; i <= stop; i++)
    {
        if (lines[i].Depth == 0 && !lines[i].Separator)
            topPresses++;
    }
    keys.assign(static_cast<size_t>(topPresses), VK_DOWN);
    if (submenu == lines.size())
        return keys;

    // Opening the submenu highlights its first item.
    keys.push_back(VK_RIGHT);
    if (highlightVerb.empty())
        return keys;
    int innerPresses = -1;
    for (size_t i = submenu + 1; i < lines.size() && lines[i].Depth > 0; i++)
    {
        if (lines[i].Depth != 1 || lines[i].Separator)
            continue;
        innerPresses++;
        if (lines[i].Verb == highlightVerb)
        {
            keys.insert(keys.end(), static_cast<size_t>(innerPresses), VK_DOWN);
            break;
        }
    }
    return keys;
}
