// SheetDriver: works a property sheet that another process shows, the way a user would: it waits for
// the sheet's window, switches pages, clicks check boxes, ticks list rows, presses Apply, OK or
// Cancel, prints what the page shows and takes pictures. Everything goes through window messages the
// sheet and its controls handle themselves; list-view records are placed in the sheet's process.
#include "Output.h"
#include "ScreenCapture.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace
{
const wchar_t UsageText[] =
    L"Usage: SheetDriver.exe [--start COMMAND] --title TEXT [--timeout MS] ACTION...\n"
    L"\n"
    L"Waits for a top-level dialog window whose caption contains TEXT (a property sheet of any\n"
    L"process), then carries out the actions in order. With --start it first starts COMMAND (for\n"
    L"example \"VNTXFM.exe /options\"), gives up when that program ends without showing the window,\n"
    L"and after the actions waits for it to end.\n"
    L"  --page N           show page N (0 = first) with PSM_SETCURSEL\n"
    L"  --check ID         click check box ID of the current page unless it is checked\n"
    L"  --uncheck ID       click check box ID of the current page if it is checked\n"
    L"  --tick ID:ROW      tick row ROW (0 = first) of the check-box list view ID of the current page\n"
    L"  --untick ID:ROW    clear that row's tick\n"
    L"  --print            print the current page: its check boxes and the rows of its list views\n"
    L"  --picture FILE     save the sheet's window as a 24-bit BMP\n"
    L"  --apply            press Apply (the button must be enabled: a page reported a change)\n"
    L"  --ok, --cancel     press OK or Cancel; the sheet closes\n"
    L"  --sleep MS         wait\n"
    L"Exit status: 0 done; 1 bad arguments; 2 no such window; 3 an action failed; 4 the started\n"
    L"program did not end, or ended with a failure code.\n";

const int ApplyButtonId = 0x3021; // the sheet's Apply button

struct CFound
{
    const std::wstring* Title;
    HWND Window;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    CFound* found = reinterpret_cast<CFound*>(param);
    wchar_t className[32] = {};
    wchar_t caption[256] = {};
    GetClassNameW(window, className, ARRAYSIZE(className));
    GetWindowTextW(window, caption, ARRAYSIZE(caption));
    if (lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(window) &&
        std::wstring(caption).find(*found->Title) != std::wstring::npos)
    {
        found->Window = window;
        return FALSE;
    }
    return TRUE;
}

// Waits for the window; gives up after `timeout` or as soon as `program` (when given) has ended.
HWND WaitForSheet(const std::wstring& title, DWORD timeout, HANDLE program)
{
    const DWORD start = GetTickCount();
    for (;;)
    {
        CFound found = {&title, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&found));
        if (found.Window != nullptr)
            return found.Window;
        if (GetTickCount() - start > timeout)
            return nullptr;
        if (program != nullptr && WaitForSingleObject(program, 100) == WAIT_OBJECT_0)
            return nullptr;
        if (program == nullptr)
            Sleep(100);
    }
}

// A program this driver started must not outlive a failed run: it would hold its sheet open.
void EndStartedProgram(HANDLE program)
{
    if (program != nullptr && WaitForSingleObject(program, 0) == WAIT_TIMEOUT)
        TerminateProcess(program, 3);
}

class CHandle
{
public:
    CHandle() = default;
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    ~CHandle()
    {
        if (_handle != nullptr)
            CloseHandle(_handle);
    }
    HANDLE* Put() { return &_handle; }
    HANDLE Get() const { return _handle; }

private:
    HANDLE _handle = nullptr;
};

// A block of memory in the sheet's process, for the list-view messages that carry a record.
class CRemoteBlock
{
public:
    CRemoteBlock(HWND window, SIZE_T size) : _size(size)
    {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        _process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
        if (_process != nullptr)
            _address = VirtualAllocEx(_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~CRemoteBlock()
    {
        if (_address != nullptr)
            VirtualFreeEx(_process, _address, 0, MEM_RELEASE);
        if (_process != nullptr)
            CloseHandle(_process);
    }
    CRemoteBlock(const CRemoteBlock&) = delete;
    CRemoteBlock& operator=(const CRemoteBlock&) = delete;

    bool Valid() const { return _address != nullptr; }
    BYTE* Address() const { return static_cast<BYTE*>(_address); }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const
    {
        SIZE_T done = 0;
        return offset + size <= _size && WriteProcessMemory(_process, Address() + offset, data, size, &done) &&
               done == size;
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const
    {
        SIZE_T done = 0;
        return offset + size <= _size && ReadProcessMemory(_process, Address() + offset, data, size, &done) &&
               done == size;
    }

private:
    HANDLE _process = nullptr;
    void* _address = nullptr;
    SIZE_T _size;
};

HWND CurrentPage(HWND sheet)
{
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool IsRowTicked(HWND list, int row)
{
    const LRESULT state = SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

bool SetRowTick(HWND list, int row, bool ticked)
{
    CRemoteBlock block(list, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
    if (!block.Valid() || !block.Write(0, &item, sizeof(item)))
        return false;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(block.Address()));
    return IsRowTicked(list, row) == ticked;
}

std::wstring RowText(HWND list, int row)
{
    const SIZE_T textChars = 512;
    CRemoteBlock block(list, sizeof(LVITEMW) + textChars * sizeof(wchar_t));
    LVITEMW item = {};
    item.iSubItem = 0;
    item.cchTextMax = static_cast<int>(textChars);
    item.pszText = reinterpret_cast<wchar_t*>(block.Address() + sizeof(LVITEMW));
    if (!block.Valid() || !block.Write(0, &item, sizeof(item)))
        return std::wstring();
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(block.Address()));
    std::vector<wchar_t> text(textChars, L'\0');
    if (!block.Read(sizeof(LVITEMW), text.data(), textChars * sizeof(wchar_t)))
        return std::wstring();
    text.back() = L'\0';
    return text.data();
}

std::wstring WindowText(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

struct CPageControls
{
    std::vector<HWND> CheckBoxes;
    std::vector<HWND> Lists;
};

BOOL CALLBACK CollectControl(HWND window, LPARAM param)
{
    CPageControls* controls = reinterpret_cast<CPageControls*>(param);
    wchar_t className[64] = {};
    GetClassNameW(window, className, ARRAYSIZE(className));
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const LONG kind = style & BS_TYPEMASK;
    if (lstrcmpiW(className, L"Button") == 0 && (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX))
        controls->CheckBoxes.push_back(window);
    else if (lstrcmpiW(className, WC_LISTVIEWW) == 0)
        controls->Lists.push_back(window);
    return TRUE;
}

void PrintPage(HWND sheet)
{
    HWND page = CurrentPage(sheet);
    CPageControls controls;
    EnumChildWindows(page, CollectControl, reinterpret_cast<LPARAM>(&controls));
    std::wstring out = L"Sheet \"" + WindowText(sheet) + L"\", page \"" + WindowText(page) + L"\"\n";
    for (HWND box : controls.CheckBoxes)
    {
        const bool checked = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
        wchar_t id[16];
        wsprintfW(id, L"%d", GetDlgCtrlID(box));
        out +=
            std::wstring(L"  [") + (checked ? L"x" : L" ") + L"] " + WindowText(box) + L"  (check box " + id + L")\n";
    }
    for (HWND list : controls.Lists)
    {
        wchar_t id[16];
        wsprintfW(id, L"%d", GetDlgCtrlID(list));
        out += std::wstring(L"  list ") + id + L":\n";
        const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; row++)
            out += std::wstring(L"    [") + (IsRowTicked(list, row) ? L"x" : L" ") + L"] " + RowText(list, row) + L"\n";
    }
    WriteOut(out);
}

bool ParseIdAndRow(const std::wstring& text, int& id, int& row)
{
    const size_t colon = text.find(L':');
    if (colon == std::wstring::npos)
        return false;
    id = _wtoi(text.substr(0, colon).c_str());
    row = _wtoi(text.substr(colon + 1).c_str());
    return id > 0 && row >= 0;
}

bool PressButton(HWND sheet, int buttonId, const wchar_t* name)
{
    HWND button = GetDlgItem(sheet, buttonId);
    if (button == nullptr || !IsWindowEnabled(button))
    {
        WriteErr(std::wstring(L"SheetDriver: the ") + name + L" button is not there or not enabled\n");
        return false;
    }
    SendMessageW(button, BM_CLICK, 0, 0);
    // The sheet's modal loop looks at its "ended" state only when GetMessage returns, and a sent
    // message is handled inside GetMessage without returning; a user's click arrives as posted
    // input and wakes the loop. Post a message that does nothing so that OK and Cancel take effect.
    PostMessageW(sheet, WM_NULL, 0, 0);
    return true;
}
} // namespace

int main()
{
    const std::vector<std::wstring> args = ProgramArguments();

    std::wstring title;
    std::wstring command;
    DWORD timeout = 20000;
    size_t first = 0;
    for (; first < args.size(); first++)
    {
        if (args[first] == L"--help")
        {
            WriteOut(UsageText);
            return 0;
        }
        if (args[first] == L"--start" && first + 1 < args.size())
            command = args[++first];
        else if (args[first] == L"--title" && first + 1 < args.size())
            title = args[++first];
        else if (args[first] == L"--timeout" && first + 1 < args.size())
            timeout = static_cast<DWORD>(_wtoi(args[++first].c_str()));
        else
            break;
    }
    if (title.empty())
    {
        WriteErr(L"SheetDriver: --title is needed (see --help)\n");
        return 1;
    }

    CHandle program;
    if (!command.empty())
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(L'\0');
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        {
            wchar_t code[16];
            wsprintfW(code, L"%lu", GetLastError());
            WriteErr(L"SheetDriver: cannot start " + command + L" (error " + code + L")\n");
            return 2;
        }
        CloseHandle(process.hThread);
        *program.Put() = process.hProcess;
    }

    HWND sheet = WaitForSheet(title, timeout, program.Get());
    if (sheet == nullptr)
    {
        std::wstring why = L"SheetDriver: no window with \"" + title + L"\" in its caption appeared";
        DWORD code = 0;
        if (program.Get() != nullptr && GetExitCodeProcess(program.Get(), &code) && code != STILL_ACTIVE)
        {
            wchar_t text[32];
            wsprintfW(text, L"%lu", code);
            why += L"; " + command + L" ended with exit code " + text;
        }
        WriteErr(why + L"\n");
        EndStartedProgram(program.Get());
        return 2;
    }
    // Give the sheet time to fill its first page.
    Sleep(300);

    for (size_t i = first; i < args.size(); i++)
    {
        const std::wstring& action = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (action == L"--page" && hasValue)
        {
            ok = SendMessageW(sheet, PSM_SETCURSEL, static_cast<WPARAM>(_wtoi(args[++i].c_str())), 0) != 0;
        }
        else if ((action == L"--check" || action == L"--uncheck") && hasValue)
        {
            HWND box = GetDlgItem(CurrentPage(sheet), _wtoi(args[++i].c_str()));
            const bool want = action == L"--check";
            ok = box != nullptr;
            if (ok && (SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != want)
                SendMessageW(box, BM_CLICK, 0, 0);
            ok = ok && (SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) == want;
        }
        else if ((action == L"--tick" || action == L"--untick") && hasValue)
        {
            int id = 0;
            int row = 0;
            ok = ParseIdAndRow(args[++i], id, row);
            HWND list = ok ? GetDlgItem(CurrentPage(sheet), id) : nullptr;
            ok = list != nullptr && SetRowTick(list, row, action == L"--tick");
        }
        else if (action == L"--print")
        {
            PrintPage(sheet);
        }
        else if (action == L"--picture" && hasValue)
        {
            RECT area;
            GetWindowRect(sheet, &area);
            const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            IntersectRect(&area, &area, &screen);
            Sleep(300); // the page's last repaint
            ok = SaveScreenRectangle(area, args[++i]);
        }
        else if (action == L"--apply")
        {
            ok = PressButton(sheet, ApplyButtonId, L"Apply");
        }
        else if (action == L"--ok")
        {
            ok = PressButton(sheet, IDOK, L"OK");
        }
        else if (action == L"--cancel")
        {
            ok = PressButton(sheet, IDCANCEL, L"Cancel");
        }
        else if (action == L"--sleep" && hasValue)
        {
            Sleep(static_cast<DWORD>(_wtoi(args[++i].c_str())));
        }
        else
        {
            WriteErr(L"SheetDriver: unknown action " + action + L" (see --help)\n");
            return 1;
        }
        if (!ok)
        {
            WriteErr(L"SheetDriver: " + action + L" failed\n");
            EndStartedProgram(program.Get());
            return 3;
        }
    }

    if (program.Get() != nullptr)
    {
        if (WaitForSingleObject(program.Get(), timeout) != WAIT_OBJECT_0)
        {
            WriteErr(L"SheetDriver: " + command + L" did not end\n");
            EndStartedProgram(program.Get());
            return 4;
        }
        DWORD code = 0;
        if (!GetExitCodeProcess(program.Get(), &code) || code != 0)
        {
            wchar_t text[32];
            wsprintfW(text, L"%lu", code);
            WriteErr(L"SheetDriver: " + command + L" ended with exit code " + text + L"\n");
            return 4;
        }
    }
    return 0;
}
