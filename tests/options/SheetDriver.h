#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// Drives a modal property sheet the way a user would, from a second thread, while the test's
// own thread sits in the sheet's message loop. The script runs once the sheet of the creating
// thread is visible and must close it; if it does not (a failed assertion returns early), the
// driver presses Cancel itself so that the test never hangs.
//
// The driver thread never touches the module's heap: its counts stay the test thread's.
class CSheetDriver
{
public:
    typedef std::function<void(CSheetDriver& driver)> CScript;

    explicit CSheetDriver(CScript script);
    ~CSheetDriver();
    CSheetDriver(const CSheetDriver&) = delete;
    CSheetDriver& operator=(const CSheetDriver&) = delete;

    // Waits for the script to end; also when the sheet never came (the driver gives up then).
    void Finish();
    bool SawSheet() const { return _sawSheet; }

    // The sheet, its current page and controls.
    HWND Sheet() const { return _sheet; }
    HWND Page() const;
    HWND PageItem(int itemId) const { return GetDlgItem(Page(), itemId); }
    HWND SheetButton(int itemId) const { return GetDlgItem(_sheet, itemId); }
    bool ApplyEnabled() const;
    void SelectTab(int index) const;
    std::wstring TabTitle(int index) const;
    int TabCount() const;

    // Clicks a button of the current page or of the sheet and waits until it was handled.
    void Click(HWND button) const;
    void ClickPageItem(int itemId) const { Click(PageItem(itemId)); }
    // OK and Cancel end the sheet: they are posted, so that its loop wakes up and ends.
    void PressOK() const;
    void PressCancel() const;
    void PressApply() const;
    void PressHelp() const;

    bool IsChecked(int itemId) const;
    bool IsEnabled(int itemId) const { return IsWindowEnabled(PageItem(itemId)) != FALSE; }

    // The command list of the System page.
    int ListCount() const;
    std::wstring ListText(int row) const;
    bool ListChecked(int row) const;
    void SetListChecked(int row, bool checked) const;
    void SelectListRow(int row) const;

    // Another dialog of the sheet's thread that is not the sheet (the folder browser).
    HWND WaitForOtherDialog(DWORD timeoutMs) const;
    // Waits until the given window is gone.
    static bool WaitForWindowGone(HWND window, DWORD timeoutMs);

private:
    void Run();
    HWND FindSheet() const;

    CScript _script;
    DWORD _sheetThreadId;
    std::atomic<bool> _stop{false};
    std::atomic<bool> _sawSheet{false};
    HWND _sheet = nullptr;
    std::thread _thread;
};

// Text of any window, read in the wide form.
std::wstring WindowText(HWND window);
