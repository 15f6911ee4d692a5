#include "SheetDriver.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
const DWORD kSheetWaitMs = 30000;
const DWORD kPollMs = 20;

bool IsDialogClass(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return lstrcmpW(name, L"#32770") == 0;
}

struct CThreadWindows
{
    std::vector<HWND> Windows;
    static BOOL CALLBACK Collect(HWND window, LPARAM context)
    {
        reinterpret_cast<CThreadWindows*>(context)->Windows.push_back(window);
        return TRUE;
    }
};

std::vector<HWND> VisibleDialogsOf(DWORD threadId)
{
    CThreadWindows found;
    EnumThreadWindows(threadId, &CThreadWindows::Collect, reinterpret_cast<LPARAM>(&found));
    std::vector<HWND> dialogs;
    for (HWND window : found.Windows)
        if (IsWindowVisible(window) && IsDialogClass(window))
            dialogs.push_back(window);
    return dialogs;
}
} // namespace

std::wstring WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(length + 2);
    GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data());
}

CSheetDriver::CSheetDriver(CScript script) : _script(std::move(script)), _sheetThreadId(GetCurrentThreadId())
{
    _thread = std::thread([this] { Run(); });
}

CSheetDriver::~CSheetDriver()
{
    Finish();
}

void CSheetDriver::Finish()
{
    _stop = true;
    if (_thread.joinable())
        _thread.join();
}

HWND CSheetDriver::FindSheet() const
{
    for (HWND window : VisibleDialogsOf(_sheetThreadId))
        if (SendMessageW(window, PSM_GETTABCONTROL, 0, 0) != 0)
            return window;
    return nullptr;
}

void CSheetDriver::Run()
{
    const DWORD start = GetTickCount();
    while (!_stop && GetTickCount() - start < kSheetWaitMs)
    {
        _sheet = FindSheet();
        if (_sheet != nullptr)
            break;
        Sleep(kPollMs);
    }
    if (_sheet == nullptr)
        return;
    _sawSheet = true;
    _script(*this);
    // A script that stopped early (a failed assertion) leaves the sheet open: close it.
    if (!WaitForWindowGone(_sheet, 2000))
    {
        ADD_FAILURE() << "the script left the sheet open";
        PostMessageW(_sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        WaitForWindowGone(_sheet, 10000);
    }
}

HWND CSheetDriver::Page() const
{
    return reinterpret_cast<HWND>(SendMessageW(_sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool CSheetDriver::ApplyEnabled() const
{
    // The Apply button of the common property sheet.
    return IsWindowEnabled(SheetButton(0x3021)) != FALSE;
}

void CSheetDriver::SelectTab(int index) const
{
    SendMessageW(_sheet, PSM_SETCURSEL, index, 0);
}

int CSheetDriver::TabCount() const
{
    HWND tabs = reinterpret_cast<HWND>(SendMessageW(_sheet, PSM_GETTABCONTROL, 0, 0));
    return static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
}

std::wstring CSheetDriver::TabTitle(int index) const
{
    HWND tabs = reinterpret_cast<HWND>(SendMessageW(_sheet, PSM_GETTABCONTROL, 0, 0));
    wchar_t text[256] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    return std::wstring(text);
}

void CSheetDriver::Click(HWND button) const
{
    SendMessageW(button, BM_CLICK, 0, 0);
}

void CSheetDriver::PressOK() const
{
    PostMessageW(_sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    WaitForWindowGone(_sheet, 10000);
}

void CSheetDriver::PressCancel() const
{
    PostMessageW(_sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    WaitForWindowGone(_sheet, 10000);
}

void CSheetDriver::PressApply() const
{
    SendMessageW(_sheet, PSM_PRESSBUTTON, PSBTN_APPLYNOW, 0);
}

void CSheetDriver::PressHelp() const
{
    SendMessageW(_sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
}

bool CSheetDriver::IsChecked(int itemId) const
{
    return SendMessageW(PageItem(itemId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int CSheetDriver::ListCount() const
{
    return static_cast<int>(SendMessageW(PageItem(1022), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring CSheetDriver::ListText(int row) const
{
    wchar_t text[256] = {};
    LVITEMW item = {};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(PageItem(1022), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return std::wstring(text);
}

bool CSheetDriver::ListChecked(int row) const
{
    const LRESULT state = SendMessageW(PageItem(1022), LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

void CSheetDriver::SetListChecked(int row, bool checked) const
{
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendMessageW(PageItem(1022), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void CSheetDriver::SelectListRow(int row) const
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(PageItem(1022), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

HWND CSheetDriver::WaitForOtherDialog(DWORD timeoutMs) const
{
    const DWORD start = GetTickCount();
    do
    {
        for (HWND window : VisibleDialogsOf(_sheetThreadId))
            if (window != _sheet)
                return window;
        Sleep(kPollMs);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool CSheetDriver::WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (IsWindow(window))
    {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
    return true;
}
