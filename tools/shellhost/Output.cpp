#include "Output.h"

#include <shellapi.h>

namespace
{
void WriteBytes(DWORD which, const std::string& bytes)
{
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    size_t done = 0;
    while (done < bytes.size())
    {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}
} // namespace

std::string Utf8FromWide(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

std::wstring WideFromUtf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size);
    return result;
}

void WriteOut(const std::wstring& text)
{
    WriteBytes(STD_OUTPUT_HANDLE, Utf8FromWide(text));
}

void WriteErr(const std::wstring& text)
{
    WriteBytes(STD_ERROR_HANDLE, Utf8FromWide(text));
}

std::wstring Hex32(unsigned long value)
{
    wchar_t buffer[16];
    wsprintfW(buffer, L"0x%08lX", value);
    return buffer;
}

std::wstring DescribeResult(HRESULT result)
{
    struct CNamedResult
    {
        HRESULT Value;
        const wchar_t* Name;
    };
    static const CNamedResult names[] = {
        {S_OK, L"S_OK"},
        {S_FALSE, L"S_FALSE"},
        {E_FAIL, L"E_FAIL"},
        {E_NOTIMPL, L"E_NOTIMPL"},
        {E_NOINTERFACE, L"E_NOINTERFACE"},
        {E_OUTOFMEMORY, L"E_OUTOFMEMORY"},
        {E_INVALIDARG, L"E_INVALIDARG"},
        {E_POINTER, L"E_POINTER"},
        {E_UNEXPECTED, L"E_UNEXPECTED"},
        {REGDB_E_CLASSNOTREG, L"REGDB_E_CLASSNOTREG"},
        {CLASS_E_CLASSNOTAVAILABLE, L"CLASS_E_CLASSNOTAVAILABLE"},
        {CO_E_ERRORINDLL, L"CO_E_ERRORINDLL"},
        {static_cast<HRESULT>(0x8007007E), L"module not found"},
    };
    std::wstring text = Hex32(static_cast<unsigned long>(result));
    for (const CNamedResult& named : names)
    {
        if (named.Value == result)
            return text + L" (" + named.Name + L")";
    }
    return text;
}

std::wstring PadRight(const std::wstring& text, size_t width)
{
    if (text.size() >= width)
        return text;
    return text + std::wstring(width - text.size(), L' ');
}

std::vector<std::wstring> ProgramArguments()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 1; argv != nullptr && i < argc; i++)
        args.push_back(argv[i]);
    if (argv != nullptr)
        LocalFree(argv);
    return args;
}
