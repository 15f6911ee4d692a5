#include "MenuPicture.h"
#include "Output.h"
#include "ScreenCapture.h"

#include <commctrl.h>

#include <algorithm>

namespace
{
const wchar_t FrameClassName[] = L"ShellHostFolderWindow";
const wchar_t DesktopClassName[] = L"ShellHostDesktop";
const UINT_PTR StepTimer = 1;
const UINT StepMilliseconds = 200;
const int ListId = 100;
const int StatusId = 101;
// No system menu: the caption buttons are drawn with the Marlett font, which a bare Wine set-up
// lacks, and they would show as letters in the picture.
const DWORD FrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME;

struct CPictureState
{
    const CPictureRequest* Request = nullptr;
    HWND Frame = nullptr;
    HWND List = nullptr;
    HWND Status = nullptr;
    std::vector<UINT> Keys; // keys still to press while the menu is open
    int SettleSteps = 3;    // steps to wait after the last key before the picture
    bool Saved = false;
    bool Failed = false;
    std::wstring Error;
};

CPictureState* g_State = nullptr;

BOOL CALLBACK AddMenuWindow(HWND window, LPARAM param)
{
    wchar_t className[32] = {};
    GetClassNameW(window, className, ARRAYSIZE(className));
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && lstrcmpW(className, L"#32768") == 0)
    {
        RECT* area = reinterpret_cast<RECT*>(param);
        RECT rect;
        GetWindowRect(window, &rect);
        UnionRect(area, area, &rect);
    }
    return TRUE;
}

void ShowHelpOf(CPictureState& state, UINT item, UINT flags, HMENU menu)
{
    if (flags == 0xFFFF && menu == nullptr)
    {
        SendMessageW(state.Status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
        return;
    }
    UINT id = item;
    if ((flags & MF_POPUP) != 0)
    {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID;
        if (!GetMenuItemInfoW(menu, item, TRUE, &info))
            return;
        id = info.wID;
    }
    std::wstring help;
    for (const CMenuLine& line : state.Request->Lines)
    {
        if (line.HasId && line.Id == id && line.Help != L"-")
            help = line.Help;
    }
    SendMessageW(state.Status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(help.c_str()));
}

void Step(CPictureState& state)
{
    if (!state.Keys.empty())
    {
        const UINT key = state.Keys.front();
        state.Keys.erase(state.Keys.begin());
        // The menu's modal loop takes every key message of this thread, whatever window it names.
        PostMessageW(state.Frame, WM_KEYDOWN, key, 1);
        PostMessageW(state.Frame, WM_KEYUP, key, 0xC0000001);
        return;
    }
    if (state.SettleSteps-- > 0)
        return;

    KillTimer(state.Frame, StepTimer);
    RECT area;
    GetWindowRect(state.Frame, &area);
    EnumWindows(AddMenuWindow, reinterpret_cast<LPARAM>(&area));
    InflateRect(&area, 12, 12);
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&area, &area, &screen);
    GdiFlush();
    if (SaveScreenRectangle(area, state.Request->BitmapPath))
    {
        state.Saved = true;
    }
    else
    {
        state.Failed = true;
        state.Error = L"could not write " + state.Request->BitmapPath;
    }
    EndMenu();
}

void AddColumn(HWND list, int index, const wchar_t* title, int width, int format)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(title);
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

bool ContainsName(const std::vector<std::wstring>& names, const std::wstring& name)
{
    for (const std::wstring& candidate : names)
    {
        if (_wcsicmp(candidate.c_str(), name.c_str()) == 0)
            return true;
    }
    return false;
}

// Fills the list with the folder's items as Explorer's details view shows them: folders first,
// then files, each group by name.
int FillFolderList(HWND list, const CPictureRequest& request)
{
    struct CListed
    {
        std::wstring Name;
        bool Folder;
        ULONGLONG Size;
    };
    std::vector<CListed> items;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((request.Folder + (request.Folder.back() == L'\\' ? L"*" : L"\\*")).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            if (lstrcmpW(found.cFileName, L".") == 0 || lstrcmpW(found.cFileName, L"..") == 0)
                continue;
            items.push_back({found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                             (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(items.begin(), items.end(),
              [](const CListed& a, const CListed& b)
              {
                  if (a.Folder != b.Folder)
                      return a.Folder;
                  return _wcsicmp(a.Name.c_str(), b.Name.c_str()) < 0;
              });

    SHFILEINFOW info = {};
    const std::wstring prefix = request.Folder + (request.Folder.back() == L'\\' ? L"" : L"\\");
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(prefix.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (images != nullptr)
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));

    int anchor = -1;
    for (size_t i = 0; i < items.size(); i++)
    {
        const std::wstring path = prefix + items[i].Name;
        SHFILEINFOW fileInfo = {};
        SHGetFileInfoW(path.c_str(), 0, &fileInfo, sizeof(fileInfo),
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_TYPENAME);

        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(items[i].Name.c_str());
        item.iImage = fileInfo.iIcon;
        item.stateMask = LVIS_SELECTED | LVIS_DROPHILITED | LVIS_FOCUSED;
        if (request.DropTarget.empty() ? ContainsName(request.Selected, items[i].Name)
                                       : _wcsicmp(items[i].Name.c_str(), request.DropTarget.c_str()) == 0)
        {
            item.state = request.DropTarget.empty() ? LVIS_SELECTED : LVIS_DROPHILITED;
            if (anchor < 0)
            {
                anchor = static_cast<int>(i);
                item.state |= LVIS_FOCUSED;
            }
        }
        const int index = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));

        wchar_t size[32] = L"";
        if (!items[i].Folder)
            wsprintfW(size, L"%u KB", static_cast<unsigned>((items[i].Size + 1023) / 1024));
        LVITEMW sub = {};
        sub.iSubItem = 1;
        sub.pszText = size;
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&sub));
        sub.iSubItem = 2;
        sub.pszText = fileInfo.szTypeName;
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&sub));
    }
    return anchor;
}

LRESULT CALLBACK FrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CPictureState* state = g_State;
    switch (message)
    {
    case WM_SIZE:
        if (state != nullptr && state->List != nullptr)
        {
            SendMessageW(state->Status, WM_SIZE, 0, 0);
            RECT client;
            RECT status;
            GetClientRect(window, &client);
            GetWindowRect(state->Status, &status);
            MoveWindow(state->List, 0, 0, client.right, client.bottom - (status.bottom - status.top), TRUE);
        }
        return 0;
    case WM_MENUSELECT:
        if (state != nullptr)
            ShowHelpOf(*state, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
        return 0;
    case WM_TIMER:
        if (state != nullptr && wParam == StepTimer)
            Step(*state);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace

bool ShowMenuPicture(const CPictureRequest& request, std::wstring& error)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSW frameClass = {};
    frameClass.lpfnWndProc = FrameProcedure;
    frameClass.hInstance = GetModuleHandleW(nullptr);
    frameClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    frameClass.lpszClassName = FrameClassName;
    RegisterClassW(&frameClass);

    // A desktop behind the window, in the classic desktop colour, so that the margin of the picture
    // shows a desktop rather than the bare display.
    HBRUSH desktopBrush = CreateSolidBrush(RGB(58, 110, 165));
    WNDCLASSW desktopClass = {};
    desktopClass.lpfnWndProc = DefWindowProcW;
    desktopClass.hInstance = frameClass.hInstance;
    desktopClass.hbrBackground = desktopBrush;
    desktopClass.lpszClassName = DesktopClassName;
    RegisterClassW(&desktopClass);
    HWND desktop = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, DesktopClassName, L"", WS_POPUP, 0, 0,
                                   GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                   desktopClass.hInstance, nullptr);
    if (desktop != nullptr)
    {
        ShowWindow(desktop, SW_SHOWNOACTIVATE);
        UpdateWindow(desktop);
    }

    CPictureState state;
    state.Request = &request;
    state.Keys = PlanMenuKeys(request.Lines, request.HighlightVerb);
    g_State = &state;

    state.Frame = CreateWindowExW(0, FrameClassName, request.Folder.c_str(), FrameStyle, 24, 24, 640, 360, nullptr,
                                  nullptr, frameClass.hInstance, nullptr);
    if (state.Frame == nullptr)
    {
        g_State = nullptr;
        if (desktop != nullptr)
            DestroyWindow(desktop);
        DeleteObject(desktopBrush);
        error = L"the folder window could not be created";
        return false;
    }
    state.Status =
        CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, state.Frame,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(StatusId)), frameClass.hInstance, nullptr);
    state.List = CreateWindowExW(
        0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHAREIMAGELISTS | LVS_SHOWSELALWAYS, 0, 0, 0, 0,
        state.Frame, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ListId)), frameClass.hInstance, nullptr);
    SendMessageW(state.List, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumn(state.List, 0, L"Name", 260, LVCFMT_LEFT);
    AddColumn(state.List, 1, L"Size", 80, LVCFMT_RIGHT);
    AddColumn(state.List, 2, L"Type", 240, LVCFMT_LEFT);
    const int anchor = FillFolderList(state.List, request);

    ShowWindow(state.Frame, SW_SHOWNORMAL);
    SendMessageW(state.Frame, WM_SIZE, 0, 0);
    UpdateWindow(state.Frame);
    SetForegroundWindow(state.Frame);
    SetFocus(state.List);

    // The menu opens where the right button went up: over the selected item, a little to the right.
    POINT at = {120, 120};
    if (anchor >= 0)
    {
        RECT itemRect = {};
        itemRect.left = LVIR_LABEL;
        SendMessageW(state.List, LVM_GETITEMRECT, static_cast<WPARAM>(anchor), reinterpret_cast<LPARAM>(&itemRect));
        at.x = itemRect.left + 60;
        at.y = (itemRect.top + itemRect.bottom) / 2;
        ClientToScreen(state.List, &at);
    }

    // Let the window reach the screen before the menu covers part of it.
    const DWORD until = GetTickCount() + 400;
    MSG message;
    while (static_cast<LONG>(GetTickCount() - until) < 0)
    {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(20);
    }

    SetTimer(state.Frame, StepTimer, StepMilliseconds, nullptr);
    TrackPopupMenu(request.Menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, at.x, at.y, 0,
                   state.Frame, nullptr);
    KillTimer(state.Frame, StepTimer);

    DestroyWindow(state.Frame);
    if (desktop != nullptr)
        DestroyWindow(desktop);
    DeleteObject(desktopBrush);
    g_State = nullptr;
    if (!state.Saved)
    {
        error = state.Failed ? state.Error : L"the menu closed before the picture was taken";
        return false;
    }
    return true;
}
