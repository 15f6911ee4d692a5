#include "LaunchTestSupport.h"

#include "launch/Launch.h"
#include "server/Module.h"

#include <cwctype>

CStandInLogs::CStandInLogs()
    : _archiverLog(std::wstring(_folder.Path().Ptr()) + L"VNTXG-log.txt"),
      _fileManagerLog(std::wstring(_folder.Path().Ptr()) + L"VNTXFM-log.txt")
{
    SetEnvironmentVariableW(L"VANTOR_ARCHIVER_LOG", _archiverLog.c_str());
    SetEnvironmentVariableW(L"VANTOR_FILEMANAGER_LOG", _fileManagerLog.c_str());
}

CStandInLogs::~CStandInLogs()
{
    SetEnvironmentVariableW(L"VANTOR_ARCHIVER_LOG", nullptr);
    SetEnvironmentVariableW(L"VANTOR_FILEMANAGER_LOG", nullptr);
}

std::vector<CStandInRecord> CStandInLogs::Read(const std::wstring& path)
{
    std::vector<CStandInRecord> records;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return records;
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);

    std::wstring text(bytes.size(), L'\0');
    if (!bytes.empty())
        text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0],
                                        static_cast<int>(text.size())));
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            break; // a record still being written
        const std::wstring line = text.substr(start, end - start);
        start = end + 2;
        if (line.size() > 2 && line.front() == L'[' && line.back() == L']')
        {
            records.emplace_back();
            records.back().Program = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t equals = line.find(L'=');
        if (records.empty() || equals == std::wstring::npos)
            continue;
        const std::wstring key = line.substr(0, equals);
        const std::wstring value = line.substr(equals + 1);
        if (key == L"Name")
            records.back().Names.push_back(value);
        else
            records.back().Values[key] = value;
    }
    return records;
}

std::vector<CStandInRecord> CStandInLogs::WaitFor(const std::wstring& path, size_t count, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;)
    {
        std::vector<CStandInRecord> records = Read(path);
        if (records.size() >= count || ElapsedSince(start) > timeoutMs)
            return records;
        Sleep(20);
    }
}

std::vector<CStandInRecord> CStandInLogs::WaitForArchiver(size_t count, DWORD timeoutMs) const
{
    return WaitFor(_archiverLog, count, timeoutMs);
}

std::vector<CStandInRecord> CStandInLogs::WaitForFileManager(size_t count, DWORD timeoutMs) const
{
    return WaitFor(_fileManagerLog, count, timeoutMs);
}

CEnvironmentScope::CEnvironmentScope(const wchar_t* name, const wchar_t* value) : _name(name)
{
    wchar_t old[2048] = {};
    const DWORD length = GetEnvironmentVariableW(name, old, 2048);
    _had = length > 0 && length < 2048;
    _old = old;
    SetEnvironmentVariableW(name, value);
}

CEnvironmentScope::~CEnvironmentScope()
{
    SetEnvironmentVariableW(_name.c_str(), _had ? _old.c_str() : nullptr);
}

CWaitLimitScope::CWaitLimitScope(DWORD milliseconds) : _saved(SetNameListWaitLimit(milliseconds)) {}

CWaitLimitScope::~CWaitLimitScope()
{
    SetNameListWaitLimit(_saved);
}

CLargePagesScope::CLargePagesScope(int value) : _snapshot(HKEY_CURRENT_USER, L"Software\\VANTOR")
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VANTOR", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (value < 0)
    {
        RegDeleteValueW(key, L"LargePages");
    }
    else
    {
        const DWORD data = static_cast<DWORD>(value);
        RegSetValueExW(key, L"LargePages", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
    }
    RegCloseKey(key);
}

CModuleInstanceScope::CModuleInstanceScope(HINSTANCE instance) : _saved(g_ModuleInstance)
{
    g_ModuleInstance = instance;
}

CModuleInstanceScope::~CModuleInstanceScope()
{
    g_ModuleInstance = _saved;
}

CErrorBoxWatcher::CErrorBoxWatcher() : _thread([this] { Watch(); }) {}

CErrorBoxWatcher::~CErrorBoxWatcher()
{
    _stop = true;
    _thread.join();
}

std::vector<CErrorBoxWatcher::CBox> CErrorBoxWatcher::Boxes()
{
    std::lock_guard<std::mutex> guard(_lock);
    return _boxes;
}

void CErrorBoxWatcher::Watch()
{
    // The message box's own controls: its text and its icon (Windows and Wine number them apart).
    const int kTextId = 0xFFFF;
    const int kIconIds[] = {0x14, 0x440};
    const HICON stopIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32513)); // IDI_HAND
    std::vector<HWND> seen;
    while (!_stop)
    {
        Sleep(20);
        HWND box = FindWindowW(L"#32770", L"Vantor");
        DWORD processId = 0;
        if (box == nullptr || !IsWindowVisible(box) || GetWindowThreadProcessId(box, &processId) == 0 ||
            processId != GetCurrentProcessId())
            continue;
        bool known = false;
        for (HWND handled : seen)
            known |= handled == box;
        if (!known)
        {
            seen.push_back(box);
            wchar_t text[1024] = {};
            GetDlgItemTextW(box, kTextId, text, 1024);
            bool stop = false;
            for (int id : kIconIds)
                if (GetDlgItem(box, id) != nullptr &&
                    reinterpret_cast<HICON>(SendDlgItemMessageW(box, id, STM_GETICON, 0, 0)) == stopIcon)
                    stop = true;
            std::lock_guard<std::mutex> guard(_lock);
            _boxes.push_back({text, stop});
        }
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

long CountOpenHandles()
{
    typedef BOOL(WINAPI * CGetCount)(HANDLE, DWORD*);
    const CGetCount getCount = reinterpret_cast<CGetCount>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProcessHandleCount")));
    DWORD count = 0;
    if (getCount != nullptr && getCount(GetCurrentProcess(), &count) && count != 0)
        return static_cast<long>(count);
    long open = 0;
    DWORD flags = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            open++;
    return open;
}

void EndProcess(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process == nullptr)
        return;
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

std::wstring QuotedStandIn(const wchar_t* program)
{
    return L"\"" + std::wstring(TestProgramFolder().Ptr()) + program + L"\"";
}

namespace
{
// Decimal digits at `start`, no sign, no leading zero; the index after them, or npos.
size_t ReadNumber(const std::wstring& text, size_t start, unsigned& number)
{
    size_t end = start;
    while (end < text.size() && iswdigit(text[end]))
        end++;
    if (end == start || end - start > 10 || (text[start] == L'0' && end - start > 1))
        return std::wstring::npos;
    number = static_cast<unsigned>(std::stoul(text.substr(start, end - start)));
    return end;
}
} // namespace

std::wstring CutListArgument(const std::wstring& commandLine, const wchar_t* prefix, CListArgument& list)
{
    list = CListArgument();
    const std::wstring mapping = std::wstring(prefix) + L"Mapping";
    const std::wstring event = std::wstring(prefix) + L"MappingEndEvent";
    const size_t start = commandLine.find(mapping);
    if (start == std::wstring::npos)
        return commandLine;
    size_t at = ReadNumber(commandLine, start + mapping.size(), list.MappingNumber);
    if (at == std::wstring::npos || at >= commandLine.size() || commandLine[at] != L':')
        return commandLine;
    const size_t sizeStart = at + 1;
    const size_t sizeEnd = commandLine.find(L':', sizeStart);
    if (sizeEnd == std::wstring::npos || commandLine.compare(sizeEnd + 1, event.size(), event) != 0)
        return commandLine;
    at = ReadNumber(commandLine, sizeEnd + 1 + event.size(), list.EventNumber);
    if (at == std::wstring::npos)
        return commandLine;
    list.Found = true;
    list.MappingName = commandLine.substr(start, sizeStart - 1 - start);
    list.SizeText = commandLine.substr(sizeStart, sizeEnd - sizeStart);
    list.EventName = commandLine.substr(sizeEnd + 1, at - sizeEnd - 1);
    return commandLine.substr(0, start) + L"<list>" + commandLine.substr(at);
}

void FillNames(COwningVector<CWideString>& names, const std::vector<std::wstring>& values)
{
    names.Clear();
    for (const std::wstring& value : values)
        names.Add(CWideString(value.c_str()));
}
