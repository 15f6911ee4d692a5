#pragma once

#include "TestSupport.h"

#include "options/OptionsPlugin.h"

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

const wchar_t kOptionsKey[] = L"Software\\VANTOR\\Options";
const wchar_t kHandlerClassKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}";
const wchar_t kHandlerServerKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}\\InprocServer32";
const wchar_t kHtmlHelpInprocKey[] = L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
const DWORD kMissing = 0xDEADBEEF;

// Values under HKCU\Software\VANTOR\Options unless another key is named; a missing value reads
// as kMissing or "<missing>".
void SetNumber(const wchar_t* name, DWORD value, HKEY root = HKEY_CURRENT_USER, const wchar_t* path = kOptionsKey);
void SetText(const wchar_t* name, const std::wstring& text, HKEY root = HKEY_CURRENT_USER,
             const wchar_t* path = kOptionsKey);
DWORD StoredNumber(const wchar_t* name, HKEY root = HKEY_CURRENT_USER, const wchar_t* path = kOptionsKey);
std::wstring StoredText(const wchar_t* name, HKEY root = HKEY_CURRENT_USER, const wchar_t* path = kOptionsKey);
bool KeyExists(HKEY root, const std::wstring& path);
// Keeps a path as found: its highest missing key (or the path itself) is saved and put back, so
// keys created on the way are removed again.
std::unique_ptr<CRegistrySnapshot> GuardRegistryPath(HKEY root, const std::wstring& path);
// The shell's handler keys under "*", "Folder", "Directory" and "Drive".
bool AnyHandlerKeyPresent();
bool AllRegisteredHandlerKeysPresent();
std::string ReadAll(const CWideString& path);
// Starts a program with the environment of this one; the caller owns the process handle (null
// when the program could not be started).
HANDLE StartProgram(std::wstring commandLine, DWORD* processId = nullptr);
// Waits for the program's end (ending it after the timeout) and gives its exit code.
DWORD FinishProgram(HANDLE process, DWORD timeoutMs);
std::wstring WindowText(HWND window);

// Works a modal property sheet as a user would, from a second thread, while the creating thread
// sits in the sheet's loop. The script runs once the sheet is visible and must close it; if it
// stops early (a failed assertion) the sheet is cancelled for it, so no test hangs. The driver
// thread never allocates from the module's heap.
class CSheetDriver
{
public:
    typedef std::function<void(CSheetDriver& driver)> CScript;

    explicit CSheetDriver(CScript script);
    ~CSheetDriver() { Finish(); }
    CSheetDriver(const CSheetDriver&) = delete;
    CSheetDriver& operator=(const CSheetDriver&) = delete;

    // Waits for the script to end, also when the sheet never came.
    void Finish();
    bool SawSheet() const { return _sawSheet; }

    HWND Sheet() const { return _sheet; }
    HWND Page() const { return reinterpret_cast<HWND>(SendMessageW(_sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
    HWND PageItem(int itemId) const { return GetDlgItem(Page(), itemId); }
    std::wstring Text(int itemId) const { return WindowText(PageItem(itemId)); }
    bool ApplyEnabled() const { return IsWindowEnabled(GetDlgItem(_sheet, 0x3021)) != FALSE; }
    void SelectTab(int index) const { SendMessageW(_sheet, PSM_SETCURSEL, index, 0); }
    HWND Tabs() const { return reinterpret_cast<HWND>(SendMessageW(_sheet, PSM_GETTABCONTROL, 0, 0)); }
    std::wstring TabTitle(int index) const;
    // PSBTN_OK and PSBTN_CANCEL are posted, so that the sheet's loop wakes up, and waited for.
    void Press(int button) const;
    void Click(int itemId) const { SendMessageW(PageItem(itemId), BM_CLICK, 0, 0); }
    bool IsChecked(int itemId) const { return SendMessageW(PageItem(itemId), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool IsEnabled(int itemId) const { return IsWindowEnabled(PageItem(itemId)) != FALSE; }

    // The command list of the System page.
    HWND List() const { return PageItem(1022); }
    std::wstring ListText(int row) const;
    bool ListChecked(int row) const { return ListView_GetCheckState(List(), row) == 1; }
    void SetListChecked(int row, bool checked) const { ListView_SetCheckState(List(), row, checked); }

    // Another dialog of the sheet's thread (the folder browser).
    HWND WaitForOtherDialog(DWORD timeoutMs) const;
    static bool WaitForWindowGone(HWND window, DWORD timeoutMs);

private:
    void Run();

    CScript _script;
    DWORD _sheetThreadId;
    std::atomic<bool> _stop{false};
    std::atomic<bool> _sawSheet{false};
    HWND _sheet = nullptr;
    std::thread _thread;
};

// CreateObject for the options interface; the caller owns the reference.
IPluginOptions* CreatePlugin();
// ShowOptions through the given object (a fresh one when null) while the script works the sheet;
// S_OK is expected whatever the script pressed.
void ShowOptionsWith(CSheetDriver::CScript script, IPluginOptions* plugin = nullptr);

// Keeps the settings root, the handler's class key, the shell's handler keys and the approval
// list as found, and starts without stored options. The language is loaded before the heap is
// counted: it stays for the process.
class COptionsTest : public CModuleTest
{
protected:
    void SetUp() override;

private:
    std::vector<std::unique_ptr<CRegistrySnapshot>> _guards;
};
