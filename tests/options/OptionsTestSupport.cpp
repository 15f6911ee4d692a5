#include "OptionsTestSupport.h"

#include "lang/Language.h"

namespace
{
const wchar_t* const kShellClasses[] = {L"*", L"Folder", L"Directory", L"Drive"};
const wchar_t* const kHandlerKinds[] = {L"\\shellex\\ContextMenuHandlers\\VANTOR",
                                        L"\\shellex\\DragDropHandlers\\VANTOR"};
const DWORD kPollMs = 20;

void SetValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

BOOL CALLBACK CollectVisibleDialog(HWND window, LPARAM context)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0)
        reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleDialogsOf(DWORD threadId)
{
    std::vector<HWND> windows;
    EnumThreadWindows(threadId, CollectVisibleDialog, reinterpret_cast<LPARAM>(&windows));
    return windows;
}
} // namespace

void SetNumber(const wchar_t* name, DWORD value, HKEY root, const wchar_t* path)
{
    SetValue(root, path, name, REG_DWORD, &value, sizeof(value));
}

void SetText(const wchar_t* name, const std::wstring& text, HKEY root, const wchar_t* path)
{
    SetValue(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

DWORD StoredNumber(const wchar_t* name, HKEY root, const wchar_t* path)
{
    DWORD value = 0, size = sizeof(value);
    return RegGetValueW(root, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS ? value : kMissing;
}

std::wstring StoredText(const wchar_t* name, HKEY root, const wchar_t* path)
{
    wchar_t text[1024] = {};
    DWORD size = sizeof(text);
    return RegGetValueW(root, path, name, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS ? text : L"<missing>";
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::unique_ptr<CRegistrySnapshot> GuardRegistryPath(HKEY root, const std::wstring& path)
{
    size_t end = 0;
    do
        end = path.find(L'\\', end + 1);
    while (end != std::wstring::npos && KeyExists(root, path.substr(0, end)));
    return std::unique_ptr<CRegistrySnapshot>(new CRegistrySnapshot(root, path.substr(0, end).c_str()));
}

bool AnyHandlerKeyPresent()
{
    for (const wchar_t* shellClass : kShellClasses)
        for (const wchar_t* kind : kHandlerKinds)
            if (KeyExists(HKEY_CLASSES_ROOT, std::wstring(shellClass) + kind))
                return true;
    return false;
}

bool AllRegisteredHandlerKeysPresent()
{
    for (const wchar_t* path :
         {L"*\\shellex\\ContextMenuHandlers\\VANTOR", L"Directory\\shellex\\ContextMenuHandlers\\VANTOR",
          L"Directory\\shellex\\DragDropHandlers\\VANTOR", L"Drive\\shellex\\DragDropHandlers\\VANTOR"})
        if (StoredText(nullptr, HKEY_CLASSES_ROOT, path) != L"{23170F69-40C1-439B-1000-000100020000}")
            return false;
    return true;
}

std::string ReadAll(const CWideString& path)
{
    std::string bytes;
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD read = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return bytes;
}

HANDLE StartProgram(std::wstring commandLine, DWORD* processId)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    if (processId != nullptr)
        *processId = process.dwProcessId;
    return process.hProcess;
}

DWORD FinishProgram(HANDLE process, DWORD timeoutMs)
{
    DWORD exitCode = 0xFFFFFFFF;
    if (process == nullptr)
        return exitCode;
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        TerminateProcess(process, exitCode);
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    return exitCode;
}

std::wstring WindowText(HWND window)
{
    std::vector<wchar_t> buffer(GetWindowTextLengthW(window) + 2);
    GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data());
}

CSheetDriver::CSheetDriver(CScript script) : _script(std::move(script)), _sheetThreadId(GetCurrentThreadId())
{
    _thread = std::thread([this] { Run(); });
}

void CSheetDriver::Finish()
{
    _stop = true;
    if (_thread.joinable())
        _thread.join();
}

void CSheetDriver::Run()
{
    for (const DWORD start = GetTickCount(); _sheet == nullptr && !_stop && GetTickCount() - start < 30000;
         Sleep(kPollMs))
        for (HWND window : VisibleDialogsOf(_sheetThreadId))
            if (SendMessageW(window, PSM_GETTABCONTROL, 0, 0) != 0)
                _sheet = window;
    if (_sheet == nullptr)
        return;
    _sawSheet = true;
    _script(*this);
    if (!WaitForWindowGone(_sheet, 2000))
    {
        ADD_FAILURE() << "the script left the sheet open";
        Press(PSBTN_CANCEL);
    }
}

std::wstring CSheetDriver::TabTitle(int index) const
{
    wchar_t text[256] = {};
    TCITEMW item = {TCIF_TEXT, 0, 0, text, 256, 0, 0};
    SendMessageW(Tabs(), TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

void CSheetDriver::Press(int button) const
{
    if (button != PSBTN_OK && button != PSBTN_CANCEL)
        SendMessageW(_sheet, PSM_PRESSBUTTON, button, 0);
    else if (PostMessageW(_sheet, PSM_PRESSBUTTON, button, 0))
        WaitForWindowGone(_sheet, 10000);
}

std::wstring CSheetDriver::ListText(int row) const
{
    wchar_t text[256] = {};
    LVITEMW item = {};
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

HWND CSheetDriver::WaitForOtherDialog(DWORD timeoutMs) const
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(kPollMs))
        for (HWND window : VisibleDialogsOf(_sheetThreadId))
            if (window != _sheet)
                return window;
    return nullptr;
}

bool CSheetDriver::WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    for (const DWORD start = GetTickCount(); IsWindow(window); Sleep(kPollMs))
        if (GetTickCount() - start >= timeoutMs)
            return false;
    return true;
}

IPluginOptions* CreatePlugin()
{
    void* object = nullptr;
    EXPECT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, &object));
    return static_cast<IPluginOptions*>(object);
}

void ShowOptionsWith(CSheetDriver::CScript script, IPluginOptions* plugin)
{
    CSheetDriver driver(std::move(script));
    IPluginOptions* shown = plugin != nullptr ? plugin : CreatePlugin();
    ASSERT_NE(nullptr, shown);
    // The second argument means nothing to the sheet.
    EXPECT_EQ(S_OK, shown->ShowOptions(nullptr, 0x12345678));
    if (plugin == nullptr)
        shown->Release();
    driver.Finish();
    EXPECT_TRUE(driver.SawSheet());
}

void COptionsTest::SetUp()
{
    _guards.push_back(GuardRegistryPath(HKEY_CURRENT_USER, L"Software\\VANTOR"));
    _guards.push_back(GuardRegistryPath(HKEY_CLASSES_ROOT, kHandlerClassKey));
    _guards.push_back(GuardRegistryPath(HKEY_LOCAL_MACHINE,
                                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"));
    for (const wchar_t* shellClass : kShellClasses)
        for (const wchar_t* kind : kHandlerKinds)
            _guards.push_back(GuardRegistryPath(HKEY_CLASSES_ROOT, std::wstring(shellClass) + kind));
    DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
    LoadLanguageOnce();
    CModuleTest::SetUp();
}
