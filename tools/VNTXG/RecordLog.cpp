#include "RecordLog.h"

std::vector<std::wstring> SplitArguments(const wchar_t* commandLine)
{
    std::vector<std::wstring> arguments;
    const wchar_t* p = commandLine;
    bool first = true;
    while (*p != 0)
    {
        while (*p == L' ' || *p == L'\t')
            p++;
        if (*p == 0)
            break;
        std::wstring argument;
        bool quoted = false;
        while (*p != 0 && (quoted || (*p != L' ' && *p != L'\t')))
        {
            if (*p == L'"')
                quoted = !quoted;
            else
                argument += *p;
            p++;
        }
        if (!first)
            arguments.push_back(argument);
        first = false;
    }
    return arguments;
}

std::wstring EnvironmentValue(const wchar_t* name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return std::wstring();
    std::vector<wchar_t> buffer(size + 1);
    const DWORD length = GetEnvironmentVariableW(name, buffer.data(), size + 1);
    if (length == 0 || length > size)
        return std::wstring();
    return std::wstring(buffer.data(), length);
}

std::string Utf8FromWide(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

namespace
{
std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.rfind(L'\\') + 1);
}
} // namespace

bool AppendRecord(const wchar_t* variable, const wchar_t* defaultName, const std::wstring& record)
{
    std::wstring path = EnvironmentValue(variable);
    if (path.empty())
        path = ProgramFolder() + defaultName;
    const std::string bytes = Utf8FromWide(record);
    for (int attempt = 0; attempt < 500; attempt++)
    {
        HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
        {
            if (GetLastError() != ERROR_SHARING_VIOLATION)
                return false;
            Sleep(10);
            continue;
        }
        DWORD written = 0;
        const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        return ok && written == bytes.size();
    }
    return false;
}
