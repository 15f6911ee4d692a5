#include "CommandProvider.h"
#include "Output.h"
#include "ShellItems.h"

#include <algorithm>

namespace
{
// The site Explorer gives the command objects it holds: the host's own object, which offers no
// services; a command that looks for one must cope without it.
class CHostSite : public IServiceProvider
{
public:
    virtual ~CHostSite() = default;
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IServiceProvider))
            return E_NOINTERFACE;
        *object = static_cast<IServiceProvider*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&_count)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG count = InterlockedDecrement(&_count);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }
    STDMETHODIMP QueryService(REFGUID, REFIID, void** object) override
    {
        if (object != nullptr)
            *object = nullptr;
        return E_NOINTERFACE;
    }

private:
    volatile LONG _count = 1;
};

// Takes a text the command allocated for the caller.
std::wstring TakeText(LPWSTR text)
{
    std::wstring result = text != nullptr ? text : L"";
    CoTaskMemFree(text);
    return result;
}

std::wstring StateName(EXPCMDSTATE state)
{
    struct CNamedBit
    {
        EXPCMDSTATE Bit;
        const wchar_t* Name;
    };
    static const CNamedBit bits[] = {{ECS_DISABLED, L"disabled"},
                                     {ECS_HIDDEN, L"hidden"},
                                     {ECS_CHECKBOX, L"check box"},
                                     {ECS_CHECKED, L"checked"},
                                     {ECS_RADIOCHECK, L"radio check"}};
    std::wstring text;
    for (const CNamedBit& bit : bits)
    {
        if ((state & bit.Bit) != 0)
            text += (text.empty() ? L"" : L", ") + std::wstring(bit.Name);
    }
    return text.empty() ? L"enabled" : text;
}

std::wstring FlagNames(EXPCMDFLAGS flags)
{
    if (flags == ECF_DEFAULT)
        return L"ECF_DEFAULT";
    std::wstring text;
    if ((flags & ECF_HASSUBCOMMANDS) != 0)
        text = L"ECF_HASSUBCOMMANDS";
    if ((flags & ~static_cast<EXPCMDFLAGS>(ECF_HASSUBCOMMANDS)) != 0)
        text += (text.empty() ? L"" : L" | ") + Hex32(flags & ~static_cast<EXPCMDFLAGS>(ECF_HASSUBCOMMANDS));
    return text;
}

// Asks one command object what Explorer asks before it shows it.
void ReadItem(CCommandItem& item, IShellItemArray* items)
{
    LPWSTR text = nullptr;
    item.TitleResult = item.Command->GetTitle(items, &text);
    item.Title = TakeText(text);
    text = nullptr;
    item.ToolTipResult = item.Command->GetToolTip(items, &text);
    item.ToolTip = TakeText(text);
    text = nullptr;
    item.IconResult = item.Command->GetIcon(items, &text);
    item.Icon = TakeText(text);
    item.CanonicalResult = item.Command->GetCanonicalName(&item.CanonicalName);
    item.FlagsResult = item.Command->GetFlags(&item.Flags);
}

std::wstring Printable(const std::wstring& text)
{
    std::wstring result;
    for (wchar_t c : text)
        result += c < 0x20 ? L'?' : c;
    return result;
}

std::wstring Answer(HRESULT result, const std::wstring& text)
{
    return DescribeResult(result) + (SUCCEEDED(result) ? L": " + text : L"");
}
} // namespace

CLoadedProvider::~CLoadedProvider()
{
    for (CCommandItem& item : _items)
    {
        CComRef<IObjectWithSite> withSite;
        if (item.Command && SUCCEEDED(item.Command->QueryInterface(IID_IObjectWithSite, withSite.PutVoid())))
            withSite->SetSite(nullptr);
    }
}

void CLoadedProvider::Load(const CHandlerEntry& entry, IShellItemArray* items)
{
    _entry = entry;
    _items.clear();
    _stateCalls.clear();
    CCommandItem top;
    _createResult =
        CoCreateInstance(entry.ClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand, top.Command.PutVoid());
    if (FAILED(_createResult))
        return;
    _site.Reset();
    *_site.Put() = new CHostSite;
    CComRef<IObjectWithSite> withSite;
    _siteResult = top.Command->QueryInterface(IID_IObjectWithSite, withSite.PutVoid());
    if (SUCCEEDED(_siteResult))
        _siteResult = withSite->SetSite(_site.Get());

    // Explorer asks first whether the answer is quick, and again from a background thread when not.
    for (BOOL slow : {FALSE, TRUE})
    {
        top.StateResult = top.Command->GetState(items, slow, &top.State);
        _stateCalls.push_back(top.StateResult);
        if (top.StateResult != E_PENDING)
            break;
    }
    if (FAILED(top.StateResult))
        top.State = ECS_HIDDEN;
    ReadItem(top, items);
    _items.push_back(std::move(top));
    const CCommandItem& shown = _items[0];
    if (shown.State != ECS_ENABLED || FAILED(shown.FlagsResult) || (shown.Flags & ECF_HASSUBCOMMANDS) == 0)
        return;

    _enumerated = true;
    CComRef<IEnumExplorerCommand> commands;
    _enumResult = _items[0].Command->EnumSubCommands(commands.Put());
    if (FAILED(_enumResult) || !commands)
        return;
    // A sub-command list that never ends is cut where no menu would hold it.
    for (int i = 0; i < 1000; i++)
    {
        CCommandItem sub;
        sub.Depth = 1;
        ULONG fetched = 0;
        const HRESULT next = commands->Next(1, sub.Command.Put(), &fetched);
        if (next != S_OK || fetched != 1 || !sub.Command)
        {
            if (FAILED(next))
                _enumResult = next;
            break;
        }
        CComRef<IObjectWithSite> subSite;
        if (SUCCEEDED(sub.Command->QueryInterface(IID_IObjectWithSite, subSite.PutVoid())))
            subSite->SetSite(_site.Get());
        sub.StateResult = sub.Command->GetState(items, TRUE, &sub.State);
        ReadItem(sub, items);
        _items.push_back(std::move(sub));
    }
}

std::wstring CLoadedProvider::Describe() const
{
    std::wstring out = L"Explorer command " + _entry.Name + L" " + _entry.ClassIdText + L" from HKCR\\" +
                       _entry.KeyPath + L"\\" + _entry.Name + L" (ExplorerCommandHandler)\n";
    if (FAILED(_createResult))
        return out + L"  CoCreateInstance = " + DescribeResult(_createResult) + L"\n";
    out += L"  SetSite = " + DescribeResult(_siteResult) + L"\n";
    const CCommandItem& top = _items[0];
    const wchar_t* calls[] = {L"  GetState(items, quick) = ", L"  GetState(items, slow allowed) = "};
    for (size_t i = 0; i < _stateCalls.size(); i++)
        out +=
            calls[i] + Answer(_stateCalls[i], top.State == ECS_ENABLED ? L"ECS_ENABLED" : StateName(top.State)) + L"\n";
    out += L"  GetFlags = " + Answer(top.FlagsResult, FlagNames(top.Flags)) + L"\n";
    out += L"  GetIcon = " + Answer(top.IconResult, top.Icon) + L"\n";
    if (_enumerated)
    {
        wchar_t count[32];
        wsprintfW(count, L"%u sub-commands", static_cast<unsigned>(_items.size() - 1));
        out += L"  EnumSubCommands = " + Answer(_enumResult, count) + L"\n";
    }
    return out;
}

std::wstring CLoadedProvider::FormatMenu() const
{
    if (_items.empty())
        return L"First-level menu: (no command)\n";
    if (!Shown())
        return L"First-level menu: " + _entry.Name + L" not shown (" + StateName(_items[0].State) + L")\n";

    std::vector<std::wstring> texts, names, states;
    size_t textWidth = 4, nameWidth = 14, stateWidth = 5;
    for (const CCommandItem& item : _items)
    {
        std::wstring text = std::wstring(static_cast<size_t>(item.Depth) * 2, L' ');
        text += SUCCEEDED(item.TitleResult) ? Printable(item.Title)
                                            : L"(GetTitle " + DescribeResult(item.TitleResult) + L")";
        if ((item.Flags & ECF_HASSUBCOMMANDS) != 0)
            text += L" >";
        texts.push_back(text);
        names.push_back(SUCCEEDED(item.CanonicalResult) ? GuidText(item.CanonicalName) : L"-");
        states.push_back(SUCCEEDED(item.StateResult) ? StateName(item.State) : DescribeResult(item.StateResult));
        textWidth = std::max(textWidth, texts.back().size());
        nameWidth = std::max(nameWidth, names.back().size());
        stateWidth = std::max(stateWidth, states.back().size());
    }
    std::wstring out = L"First-level menu:\n  " + PadRight(L"text", textWidth) + L"  " +
                       PadRight(L"canonical name", nameWidth) + L"  " + PadRight(L"state", stateWidth) +
                       L"  tool tip\n";
    for (size_t i = 0; i < _items.size(); i++)
    {
        const CCommandItem& item = _items[i];
        std::wstring row = L"  " + PadRight(texts[i], textWidth) + L"  " + PadRight(names[i], nameWidth) + L"  " +
                           PadRight(states[i], stateWidth) + L"  " +
                           (SUCCEEDED(item.ToolTipResult) ? Printable(item.ToolTip) : L"-");
        while (!row.empty() && row.back() == L' ')
            row.pop_back();
        out += row + L"\n";
    }
    return out;
}

const CCommandItem* CLoadedProvider::FindByVerb(const std::wstring& verb) const
{
    GUID wanted = {};
    if (_items.empty() || FAILED(_items[0].CanonicalResult) || !NameBasedGuid(_items[0].CanonicalName, verb, wanted))
        return nullptr;
    for (const CCommandItem& item : _items)
    {
        if (item.Depth == 1 && SUCCEEDED(item.CanonicalResult) && IsEqualGUID(item.CanonicalName, wanted))
            return &item;
    }
    return nullptr;
}

HRESULT CLoadedProvider::Invoke(const CCommandItem& item, IShellItemArray* items)
{
    return item.Command->Invoke(items, nullptr);
}

std::vector<CMenuLine> CLoadedProvider::MenuLines(bool explorerItems) const
{
    struct CWindowsItem
    {
        const wchar_t* Text; // null: a separator
        bool Submenu;
    };
    // Windows 11's first-level menu of a file, around a program's commands.
    static const CWindowsItem before[] = {{L"Open", false}, {L"Open with", true}, {nullptr, false}};
    static const CWindowsItem after[] = {{L"Compress to ZIP file", false},
                                         {L"Copy as path", false},
                                         {L"Properties", false},
                                         {nullptr, false},
                                         {L"Show more options", false}};
    std::vector<CMenuLine> lines;
    UINT nextId = 1;
    auto addWindowsItems = [&](const CWindowsItem* items, size_t count)
    {
        for (size_t i = 0; explorerItems && i < count; i++)
        {
            CMenuLine line;
            line.Separator = items[i].Text == nullptr;
            line.HasId = !line.Separator;
            line.Id = line.HasId ? nextId++ : 0;
            line.Text = line.Separator ? L"" : items[i].Text;
            line.Submenu = items[i].Submenu;
            line.Verb = L"-";
            line.Help = L"-";
            lines.push_back(line);
            if (line.Submenu)
            {
                CMenuLine inner;
                inner.Depth = 1;
                inner.HasId = true;
                inner.Id = nextId++;
                inner.Text = L"Choose another app";
                inner.Verb = L"-";
                inner.Help = L"-";
                lines.push_back(inner);
            }
        }
    };
    addWindowsItems(before, ARRAYSIZE(before));
    if (Shown())
    {
        for (const CCommandItem& item : _items)
        {
            CMenuLine line;
            line.Depth = item.Depth;
            line.HasId = true;
            line.Id = nextId++;
            line.Text = item.Title;
            line.Submenu = item.Depth == 0;
            line.Verb = item.Depth == 0 ? _entry.Name : GuidText(item.CanonicalName);
            line.Help = item.ToolTip;
            lines.push_back(line);
        }
    }
    addWindowsItems(after, ARRAYSIZE(after));
    return lines;
}

HMENU BuildMenuFromLines(const std::vector<CMenuLine>& lines, const std::wstring& icon, const std::wstring& iconVerb,
                         HBITMAP& bitmap)
{
    bitmap = nullptr;
    HICON small = nullptr;
    const size_t comma = icon.find_last_of(L',');
    if (comma != std::wstring::npos &&
        ExtractIconExW(icon.substr(0, comma).c_str(), _wtoi(icon.c_str() + comma + 1), nullptr, &small, 1) == 1 &&
        small != nullptr)
    {
        // A 32-bit bitmap with the icon's own transparency, which the menu blends onto its colours.
        const int size = GetSystemMetrics(SM_CXSMICON);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = size;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC screen = GetDC(nullptr);
        bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HDC memory = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        if (bitmap != nullptr && memory != nullptr)
        {
            HGDIOBJ old = SelectObject(memory, bitmap);
            DrawIconEx(memory, 0, 0, small, size, size, 0, nullptr, DI_NORMAL);
            SelectObject(memory, old);
        }
        if (memory != nullptr)
            DeleteDC(memory);
        DestroyIcon(small);
    }

    HMENU top = CreatePopupMenu();
    // The picture shares the column of the check marks, as in Explorer's menus.
    MENUINFO style = {};
    style.cbSize = sizeof(style);
    style.fMask = MIM_STYLE;
    style.dwStyle = MNS_CHECKORBMP;
    SetMenuInfo(top, &style);
    HMENU current = nullptr;
    for (size_t i = 0; i < lines.size(); i++)
    {
        const CMenuLine& line = lines[i];
        HMENU menu = line.Depth == 0 ? top : current;
        if (menu == nullptr)
            continue;
        if (line.Separator)
        {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
        item.fType = MFT_STRING;
        item.wID = line.Id;
        item.dwTypeData = const_cast<wchar_t*>(line.Text.c_str());
        if (line.Submenu)
        {
            item.fMask |= MIIM_SUBMENU;
            item.hSubMenu = CreatePopupMenu();
        }
        if (bitmap != nullptr && line.Verb == iconVerb)
        {
            item.fMask |= MIIM_BITMAP;
            item.hbmpItem = bitmap;
        }
        InsertMenuItemW(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &item);
        if (line.Depth == 0)
            current = line.Submenu ? item.hSubMenu : nullptr;
    }
    // The first item opens the items, as a double-click would: Explorer shows it in bold.
    if (!lines.empty() && lines[0].Verb == L"-" && lines[0].HasId)
        SetMenuDefaultItem(top, lines[0].Id, FALSE);
    return top;
}
