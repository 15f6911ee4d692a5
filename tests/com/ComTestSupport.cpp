#include "ComTestSupport.h"

#include <vector>

const wchar_t kChildDllVariable[] = L"VANTOR_CHILD_DLL";
const wchar_t kChildMarkVariable[] = L"VANTOR_CHILD_MARK";

std::wstring EnvironmentText(const wchar_t* name)
{
    wchar_t text[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, text, 1024);
    return length > 0 && length < 1024 ? std::wstring(text) : std::wstring();
}

std::wstring VantorDllPath()
{
    return std::wstring(TestProgramFolder().Ptr()) + L"Vantor.dll";
}

DWORD RunProcess(const std::wstring& commandLine, const std::vector<std::wstring>& environment)
{
    std::vector<std::pair<std::wstring, std::wstring>> saved;
    for (const std::wstring& item : environment)
    {
        const std::wstring name = item.substr(0, item.find(L'='));
        wchar_t old[1024] = {};
        const DWORD had = GetEnvironmentVariableW(name.c_str(), old, 1024);
        saved.emplace_back(name, had ? std::wstring(old) : std::wstring(L"\x01"));
        SetEnvironmentVariableW(name.c_str(), item.substr(name.size() + 1).c_str());
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    DWORD exitCode = 0xFFFFFFFF;
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    {
        CloseHandle(process.hThread);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
    }
    for (const auto& item : saved)
        SetEnvironmentVariableW(item.first.c_str(), item.second == L"\x01" ? nullptr : item.second.c_str());
    return exitCode;
}

HRESULT CLoadedModule::Call(const char* name) const
{
    typedef HRESULT(STDAPICALLTYPE * CExport)();
    const CExport function = reinterpret_cast<CExport>(reinterpret_cast<void*>(Export(name)));
    if (function == nullptr)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return function();
}

namespace
{
std::wstring ThisProgramPath()
{
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}
} // namespace

// Wine reads HKCU\Software\Wine\AppDefaults\<exe>\Version when the program starts: "win98"
// makes GetVersionExA report VER_PLATFORM_WIN32_WINDOWS, so the module takes its ANSI paths
// exactly as on Windows 98. A copy under its own name keeps this program's own runs on NT.
CWindows98Program::CWindows98Program(const wchar_t* exeName)
    : _exePath(std::wstring(TestProgramFolder().Ptr()) + exeName),
      _settingKey(std::wstring(L"Software\\Wine\\AppDefaults\\") + exeName),
      _setting(HKEY_CURRENT_USER, _settingKey.c_str())
{
    _ready = CopyFileW(ThisProgramPath().c_str(), _exePath.c_str(), FALSE) &&
             WriteRegistryText(HKEY_CURRENT_USER, _settingKey.c_str(), L"Version", L"win98");
}

CWindows98Program::~CWindows98Program()
{
    DeleteFileW(_exePath.c_str());
}

bool CWindows98Program::RunChild(const wchar_t* testName, const std::wstring& dllPath, const std::wstring& markPath)
{
    DeleteFileW(markPath.c_str());
    const std::wstring commandLine =
        L"\"" + _exePath +
        L"\" --gtest_brief=1 --gtest_also_run_disabled_tests --gtest_filter=ComWindows98Child.DISABLED_" + testName;
    const DWORD exitCode = RunProcess(commandLine, {std::wstring(kChildDllVariable) + L"=" + dllPath,
                                                    std::wstring(kChildMarkVariable) + L"=" + markPath});
    const bool marked = GetFileAttributesW(markPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    DeleteFileW(markPath.c_str());
    return exitCode == 0 && marked;
}
